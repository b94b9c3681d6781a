// The CSV card reader on any bytes. What it read, with the values that have no column folded into
// the notes as the import stores them, written and read again gives the same cards.
#include "csvcards.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

exchange::ContactCard asStored(exchange::ContactCard card, const exchange::CardLabels &labels)
{
    QString &notes = card[exchange::Notes];
    for (const exchange::CardExtra &e : card.extras)
        notes += (notes.isEmpty() ? QString() : QStringLiteral("\n")) + exchange::extraLabel(e, labels)
            + QLatin1String(" : ") + e.value;
    card.extras.clear();
    return card;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    (void)exchange::detectDelimiter(QString::fromUtf8(bytes));
    const exchange::ReadCards read = exchange::readCsvCards(bytes);
    if (!read.ok())
        return 0;
    const exchange::CardLabels labels = exchange::defaultCardLabels();
    QList<exchange::ContactCard> stored;
    for (const exchange::ContactCard &c : read.cards)
        stored << asStored(c, labels);
    const exchange::ReadCards again = exchange::readCsvCards(exchange::writeCsvCards(stored, labels));
    if (!again.ok() || again.cards.size() != stored.size()) {
        std::fprintf(stderr, "read %d cards, our own file gives %d: %s (line %d)\n", int(stored.size()),
                     int(again.cards.size()), again.error.toUtf8().constData(), again.errorLine);
        std::abort(); // our own file is refused, or loses cards
    }
    for (qsizetype i = 0; i < stored.size(); ++i)
        if (again.cards[i].values != stored[i].values || !again.cards[i].extras.isEmpty()) {
            std::fprintf(stderr, "card %d changed on its way through our own file\n", int(i + 1));
            std::abort();
        }
    return 0;
}
