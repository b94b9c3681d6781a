// The CSV card reader on any bytes; what it read, written and read again, gives as many cards.
#include "csvcards.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    (void)exchange::detectDelimiter(QString::fromUtf8(bytes));
    const exchange::ReadCards read = exchange::readCsvCards(bytes);
    if (!read.ok())
        return 0;
    const exchange::ReadCards again =
        exchange::readCsvCards(exchange::writeCsvCards(read.cards, exchange::defaultCardLabels()));
    if (!again.ok() || again.cards.size() != read.cards.size())
        std::abort(); // our own file is refused, or loses cards
    return 0;
}
