// The address book (adbook.dbf) as the source and destination of cards in other formats.
//
// A CardBook opens a dataset of its own on the table, shared, so that neither the page's dataset
// (and the controls bound to it) nor another running copy is disturbed; they see the new cards
// when they next read.
//
//     exchange::CardBook book(dataDirectory);               // ends with "/"
//     const exchange::ReadCards read = exchange::readVCards(bytes);
//     if (!read.ok())
//         fail(exchange::describeFault(read));               // nothing stored
//     const exchange::ImportReport report = book.import(read.cards);   // throws ExchangeError
//     QByteArray out = exchange::writeVCards(book.cards());
#pragma once

#include "contactcard.h"

#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <stdexcept>

class TCodePage;
class TDbf;

namespace exchange {

// A file that cannot be read or written, or cards that cannot be stored. what() is UTF-8.
class ExchangeError : public std::runtime_error
{
public:
    explicit ExchangeError(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// "Ligne 12 : …" for a file a reader refused.
QString describeFault(const ReadCards &read);

struct ImportReport
{
    int stored = 0;
    int skipped = 0;         // equal in every field to a card already stored (or earlier in the file)
    // "Jean Dupont : Adresse" for every value kept in the notes: too long for its field, or
    // without a field of its own.
    QStringList intoNotes;
    int binaryLeftOut = 0;   // pictures and keys, which the address book cannot hold
    // One line: "12 fiches enregistrées, 1 déjà présente ignorée."
    QString summary() const;
};

// Told how far the store has come; it may run the event loop.
using ImportProgress = std::function<void(int done, int total)>;

class CardBook
{
public:
    // Opens adbook.dbf in `dataDirectory` (ending with "/"); the table's own errors pass through.
    explicit CardBook(const QString &dataDirectory, CardLabels labels = defaultCardLabels());
    ~CardBook();

    // Every live card in the table's stored order, or only the card of that physical record
    // number (none when it is deleted or out of range).
    QList<ContactCard> cards(int physicalRecord = 0);

    // Fits every card to the table first: a value longer than its field is kept whole on a line
    // of the notes naming the field, the field keeping what fits; values without a field go to
    // the notes too. A value the table's character set cannot hold throws ExchangeError naming
    // the card's line, with nothing stored. Cards equal in every field to a stored one are
    // skipped. The rest are stored in one batch of the engine. A failure while storing throws
    // ExchangeError saying how many cards were stored before it.
    ImportReport import(const QList<ContactCard> &cards, const ImportProgress &progress = {});

private:
    struct Prepared;
    Prepared prepare(const ContactCard &card) const;
    QString duplicateKey(const Prepared &p) const;
    QSet<QString> storedKeys();

    std::unique_ptr<TDbf> m_table;
    std::unique_ptr<TCodePage> m_codePage;
    CardLabels m_labels;
};

// The whole road of a file, for the page and the command line. The format comes from the
// extension (".vcf", ".vcard", ".csv"); another extension is read as vCard when the file starts
// like one and as CSV otherwise. importCardFile reads and checks the whole file before it stores
// anything; both throw ExchangeError with a message for the user.
ImportReport importCardFile(CardBook &book, const QString &path, const CardLabels &labels,
                            const ImportProgress &progress = {});
// All cards, or the one of `physicalRecord`; ".csv" writes CSV, anything else vCard 4.0. The
// file is replaced whole or not at all. Returns the number of cards written.
int exportCardFile(CardBook &book, const QString &path, const CardLabels &labels,
                   int physicalRecord = 0);
// Writes cards to `path` as exportCardFile does.
void saveCardFile(const QString &path, const QList<ContactCard> &cards, const CardLabels &labels);

} // namespace exchange
