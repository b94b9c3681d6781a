// The vCard reader on any bytes; what it read, written and read again, gives the same cards.
#include "vcard.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const exchange::ReadCards read =
        exchange::readVCards(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!read.ok())
        return 0;
    const exchange::ReadCards again = exchange::readVCards(exchange::writeVCards(read.cards));
    if (!again.ok() || again.cards.size() != read.cards.size()) {
        std::fprintf(stderr, "read %d cards, our own file gives %d: %s (line %d)\n", int(read.cards.size()),
                     int(again.cards.size()), again.error.toUtf8().constData(), again.errorLine);
        std::abort(); // our own file is refused, or loses cards
    }
    return 0;
}
