// One address card on its way in or out of the address book: the twelve values of adbook.dbf
// and what a card from elsewhere holds that has no field of its own.
//
// Values are plain text with "\n" ending lines (the notes); the address book's own CR LF and its
// field widths are CardBook's business, so that the readers and writers know nothing of tables.
#pragma once

#include <QList>
#include <QString>

#include <array>
#include <utility>

namespace exchange {

// In the order the page shows them; Notes is the memo.
enum CardField { Prenom, Nom, Adresse, Ville, Cp, Pays, Tel, Fax, Mobile, Email, Web, Notes };
constexpr int CardFieldCount = 12;

// The table's field names, by CardField.
constexpr std::array<const char *, CardFieldCount> CardFieldNames = {
    "PRENOM", "NOM", "ADRESSE", "VILLE", "CP", "PAYS",
    "TEL", "FAX", "MOBILE", "EMAIL", "WEB", "NOTES"};

// What a person reads for each field: the page's labels without their colon. The defaults are the
// program's own French texts; a translated page hands in its own.
using CardLabels = std::array<QString, CardFieldCount>;
CardLabels defaultCardLabels();

// A value without a field of its own. With `field` set it is a second value of that field (a
// second e-mail) and `label` only qualifies it ("work"); the field's label names it.
struct CardExtra
{
    QString label;
    QString value;
    int field = -1;
};

struct ContactCard
{
    std::array<QString, CardFieldCount> values;
    // Values without a field (a second e-mail, a birthday), each with what it is, in file order;
    // they end up as lines of the notes.
    QList<CardExtra> extras;
    int line = 0; // where the card starts in its file, for messages; 0 when it came from a table

    QString &operator[](CardField f) { return values[static_cast<std::size_t>(f)]; }
    const QString &operator[](CardField f) const { return values[static_cast<std::size_t>(f)]; }
    // "first name name", or the first of e-mail, mobile, telephone that is set.
    QString displayName() const;
};

// How an extra is named on its line of the notes: its own label, or its field's qualified by it.
QString extraLabel(const CardExtra &extra, const CardLabels &labels);

// What a reader made of a file: every card, or the first fault and its line (and no cards).
struct ReadCards
{
    QList<ContactCard> cards;
    QString error;     // empty when the file was read
    int errorLine = 0; // 1-based line of the fault
    int binaryLeftOut = 0; // pictures, sounds and keys: binary values the address book cannot keep
    bool ok() const { return error.isEmpty(); }
    // A file refused at `line`.
    static ReadCards refused(int line, const QString &message);
};

} // namespace exchange
