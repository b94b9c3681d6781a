// CSV, as RFC 4180 describes it and as address books write it:
//
//     First Name,Last Name,E-mail Address,Notes          header row: one name per column
//     Jean,Dupont,jean@example.org,"two lines,           a quoted field may hold the delimiter,
//     with ""quotes"""                                   line breaks and "" for a quote
//
// - Records end in CR LF, LF or CR; a line break inside quotes belongs to the field.
// - The delimiter is the comma, or the semicolon (spreadsheets in French locales), or the tab:
//   whichever the header line holds most of outside quotes.
// - The bytes are UTF-8, with or without a byte order mark, else Windows-1252.
// - Blank rows are skipped. Characters after a closing quote are kept as part of the field,
//   as spreadsheets read them.
//
// What we write: UTF-8 with a byte order mark (so that spreadsheets take it as UTF-8), comma,
// CR LF, a header row with the page's labels, fields quoted only when they need it.
#include "csvcards.h"

#include "textbytes.h"

#include <QHash>

namespace exchange {

namespace {

constexpr int kFullName = -2; // a "Display Name" column: the name when the card has no other

// Column names compared without case, accents, blanks or punctuation.
QString columnKey(const QString &name)
{
    QString key;
    for (const QChar c : name.normalized(QString::NormalizationForm_D))
        if (c.isLetterOrNumber())
            key += c.toLower();
    return key;
}

const QHash<QString, int> &knownColumns()
{
    static const QHash<QString, int> columns = [] {
        const std::pair<int, QStringList> names[] = {
            {Prenom, {"Prénom", "First Name", "Given Name", "Firstname", "Forename", "Prenom"}},
            {Nom, {"Nom", "Last Name", "Family Name", "Surname", "Lastname", "Nom de famille"}},
            {Adresse, {"Adresse", "Address", "Street", "Street Address", "Home Street",
                       "Home Address", "Rue", "Rue (domicile)", "Adresse (domicile)",
                       "Business Street", "Rue (bureau)", "Work Address", "Address 1 - Street",
                       "Address 1 - Formatted", "Other Street"}},
            {Ville, {"Ville", "City", "Town", "Localité", "Home City", "Ville (domicile)",
                     "Business City", "Ville (bureau)", "Work City", "Address 1 - City",
                     "Other City"}},
            {Cp, {"Code postal", "CP", "Postal Code", "Postcode", "Zip", "ZIP Code", "Zipcode",
                  "Home Postal Code", "Code postal (domicile)", "Business Postal Code",
                  "Code postal (bureau)", "Home ZipCode", "Work ZipCode",
                  "Address 1 - Postal Code", "Other Postal Code"}},
            {Pays, {"Pays", "Country", "Country/Region", "Pays/Région", "Home Country",
                    "Home Country/Region", "Pays/Région (domicile)", "Business Country",
                    "Business Country/Region", "Pays/Région (bureau)", "Work Country",
                    "Address 1 - Country", "Other Country"}},
            {Tel, {"Téléphone", "Telephone", "Phone", "Tel", "Home Phone", "Téléphone (domicile)",
                   "Primary Phone", "Téléphone principal", "Business Phone", "Téléphone (bureau)",
                   "Work Phone", "Phone 1 - Value", "Other Phone", "Home Phone 2",
                   "Business Phone 2"}},
            {Fax, {"Fax", "Télécopie", "Business Fax", "Home Fax", "Télécopie (bureau)",
                   "Télécopie (domicile)", "Fax Number", "Other Fax"}},
            {Mobile, {"Mobile", "Mobile Phone", "Mobile Number", "Cell", "Cell Phone",
                      "Cellular", "Cellular Phone", "Téléphone mobile", "Portable",
                      "Téléphone portable"}},
            {Email, {"Email", "E-mail", "Mail", "Courriel", "E-mail Address", "Email Address",
                     "Primary Email", "E-mail 1 - Value", "Adresse de messagerie",
                     "Adresse e-mail", "Adresse électronique", "E-mail 2 Address",
                     "E-mail 3 Address", "Secondary Email", "E-mail 2 - Value"}},
            {Web, {"Site web", "Site", "Web", "Web Page", "Web Page 1", "Web Page 2", "Website",
                   "Web Site", "Homepage", "URL", "Page Web", "Website 1 - Value",
                   "Personal Web Page", "Business Web Page"}},
            {Notes, {"Notes", "Note", "Remarques", "Commentaire", "Commentaires", "Comments"}},
            {kFullName, {"Name", "Full Name", "Display Name", "Nom complet", "Nom affiché"}},
        };
        QHash<QString, int> map;
        for (const auto &[field, list] : names)
            for (const QString &n : list)
                map.insert(columnKey(n), field);
        return map;
    }();
    return columns;
}

int fieldOfColumn(const QString &header, const CardLabels &labels)
{
    const QString key = columnKey(header);
    for (int f = 0; f < CardFieldCount; ++f)
        if (!labels[f].isEmpty() && columnKey(labels[f]) == key)
            return f;
    return knownColumns().value(key, -1);
}

ContactCard cardOfRow(const QStringList &header, const QList<int> &fields, const QStringList &row)
{
    ContactCard card;
    QString fullName;
    for (qsizetype i = 0; i < row.size(); ++i) {
        QString v = row[i].trimmed();
        if (v.isEmpty())
            continue;
        const int f = i < fields.size() ? fields[i] : -1;
        const QString name = i < header.size() && !header[i].trimmed().isEmpty()
            ? header[i].trimmed()
            : QStringLiteral("Colonne %1").arg(i + 1);
        if (f == Notes) {
            card[Notes] = card[Notes].isEmpty() ? v : card[Notes] + QLatin1Char('\n') + v;
        } else if (f == kFullName) {
            fullName = oneLine(v);
        } else if (f >= 0 && card[CardField(f)].isEmpty()) {
            card[CardField(f)] = oneLine(v);
        } else {
            card.extras.append({name, oneLine(v)});
        }
    }
    if (!fullName.isEmpty()) {
        if (card[Nom].isEmpty() && card[Prenom].isEmpty())
            card[Nom] = fullName;
        else if (fullName != (card[Prenom] + QLatin1Char(' ') + card[Nom]).trimmed())
            card.extras.append({QStringLiteral("Nom complet"), fullName});
    }
    return card;
}

bool isBlank(const QStringList &row)
{
    for (const QString &v : row)
        if (!v.trimmed().isEmpty())
            return false;
    return true;
}

QString quoted(const QString &v)
{
    if (!v.contains(QLatin1Char(',')) && !v.contains(QLatin1Char('"')) && !v.contains(QLatin1Char('\n'))
        && !v.contains(QLatin1Char('\r')))
        return v;
    QString q = v;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

QChar detectDelimiter(const QString &text)
{
    int comma = 0, semicolon = 0, tab = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && (c == QLatin1Char('\n') || c == QLatin1Char('\r')))
            break;
        else if (!quoted && c == QLatin1Char(','))
            ++comma;
        else if (!quoted && c == QLatin1Char(';'))
            ++semicolon;
        else if (!quoted && c == QLatin1Char('\t'))
            ++tab;
    }
    if (semicolon > comma && semicolon >= tab)
        return QLatin1Char(';');
    if (tab > comma && tab > semicolon)
        return QLatin1Char('\t');
    return QLatin1Char(',');
}

CsvRows parseCsv(const QString &text, QChar delimiter)
{
    CsvRows out;
    QStringList row;
    QString field;
    int line = 1;
    int rowLine = 1;
    int quoteLine = 0;
    bool quoted = false;
    bool fieldStarted = false;
    const qsizetype n = text.size();
    auto endRow = [&] {
        row << field;
        out.rows << row;
        out.rowLines << rowLine;
        row.clear();
        field.clear();
        fieldStarted = false;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
                continue;
            }
            if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n'))
                ++i;
            if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
                field += QLatin1Char('\n');
                ++line;
                continue;
            }
            field += c;
            continue;
        }
        if (c == QLatin1Char('"') && !fieldStarted) {
            quoted = true;
            fieldStarted = true;
            quoteLine = line;
        } else if (c == delimiter) {
            row << field;
            field.clear();
            fieldStarted = false;
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n'))
                ++i;
            endRow();
            rowLine = ++line;
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    if (quoted) {
        out.error = QStringLiteral("un guillemet ouvert ici n'est jamais fermé.");
        out.errorLine = quoteLine;
        return out;
    }
    if (fieldStarted || !row.isEmpty())
        endRow();
    return out;
}

ReadCards readCsvCards(QByteArrayView input, const CardLabels &labels)
{
    QByteArray bytes = input.toByteArray();
    const bool bom = stripUtf8Bom(bytes);
    if (const int line = firstBinaryLine(bytes))
        return ReadCards::refused(line, QStringLiteral("ce fichier n'est pas un fichier texte (octet nul)."));
    const QString text = bom ? QString::fromUtf8(bytes) : decodeGuessing(bytes);
    const CsvRows rows = parseCsv(text, detectDelimiter(text));
    if (!rows.error.isEmpty())
        return ReadCards::refused(rows.errorLine, rows.error);
    qsizetype first = 0;
    while (first < rows.rows.size() && isBlank(rows.rows[first]))
        ++first;
    if (first == rows.rows.size())
        return ReadCards::refused(1, QStringLiteral("ce fichier ne contient aucune fiche."));
    const QStringList &header = rows.rows[first];
    QList<int> fields;
    bool anyField = false;
    for (const QString &h : header) {
        fields << fieldOfColumn(h, labels);
        anyField = anyField || fields.last() != -1;
    }
    if (!anyField)
        return ReadCards::refused(rows.rowLines[first],
                      QStringLiteral("la première ligne doit nommer les colonnes (Prénom, Nom, "
                                     "Adresse, First Name, Last Name…) ; aucune n'est reconnue."));
    ReadCards result;
    for (qsizetype r = first + 1; r < rows.rows.size(); ++r) {
        if (isBlank(rows.rows[r]))
            continue;
        ContactCard card = cardOfRow(header, fields, rows.rows[r]);
        card.line = rows.rowLines[r];
        result.cards << card;
    }
    if (result.cards.isEmpty())
        return ReadCards::refused(rows.rowLines[first], QStringLiteral("ce fichier ne contient aucune fiche."));
    return result;
}

QByteArray writeCsvCards(const QList<ContactCard> &cards, const CardLabels &labels)
{
    QString out;
    QStringList head;
    for (const QString &l : labels)
        head << quoted(l);
    out += head.join(QLatin1Char(',')) + QLatin1String("\r\n");
    for (const ContactCard &c : cards) {
        QStringList row;
        for (const QString &v : c.values) {
            QString value = v;
            value.replace(QLatin1String("\r\n"), QLatin1String("\n"));
            row << quoted(value);
        }
        out += row.join(QLatin1Char(',')) + QLatin1String("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
}

} // namespace exchange
