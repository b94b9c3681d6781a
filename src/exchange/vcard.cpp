// vCard, as the address book reads and writes it (RFC 2426 for 3.0, RFC 6350 for 4.0, the
// versit 2.1 text for 2.1).
//
// A file is a run of cards; a card is a run of content lines:
//
//     BEGIN:VCARD
//     VERSION:3.0                               2.1, 3.0 or 4.0
//     item1.TEL;TYPE=work,voice;PREF=1:+33 1 …  [group "."] NAME *(";" PARAM) ":" VALUE
//     NOTE:first line\nsecond\, with comma      \n \, \; \\ are escapes (3.0, 4.0)
//      folded on                                a line starting with a blank continues the last
//     END:VCARD
//
// - Lines end in CR LF (LF or CR alone are taken too). Names and parameter names are
//   case-insensitive. Parameter values may be quoted ("…") and hold comma-separated lists.
// - 2.1 writes parameters bare (TEL;HOME;FAX), may encode a value QUOTED-PRINTABLE ("=XX"
//   bytes; a line ending in "=" goes on at the next line) and names its character set with
//   CHARSET=; without it a value is UTF-8 when it is valid UTF-8, otherwise Windows-1252.
// - Structured values split on unescaped ";": N is family;given;additional;prefix;suffix,
//   ADR is post office box;extended;street;locality;region;postal code;country.
// - BASE64 (2.1), ENCODING=b (3.0) and data: URIs (4.0) carry pictures and keys, which the
//   address book cannot keep: they are counted, not read.
//
// What we write: VERSION:4.0, FN, N, ADR, TEL with TYPE=voice, fax or cell, EMAIL, URL, NOTE, in
// UTF-8 with CR LF, lines folded at 75 bytes without splitting a character.
#include "vcard.h"

#include "textbytes.h"

#include <algorithm>
#include <optional>

namespace exchange {

namespace {

struct Param
{
    QByteArray name; // upper case
    QList<QByteArray> values;
};

struct Property
{
    QByteArray name; // upper case, group removed
    QList<Param> params;
    QByteArray value;
    int line = 0;

    QList<QByteArray> paramValues(const QByteArray &n) const
    {
        QList<QByteArray> out;
        for (const Param &p : params)
            if (p.name == n)
                out += p.values;
        return out;
    }
    // TYPE values in lower case, 2.1's bare parameters included.
    QStringList types() const
    {
        QStringList out;
        for (const QByteArray &v : paramValues("TYPE"))
            out << QString::fromLatin1(v).toLower();
        return out;
    }
    bool preferred() const
    {
        return types().contains(QLatin1String("pref")) || !paramValues("PREF").isEmpty();
    }
};

// Joins folded lines and quoted-printable soft breaks into content lines.
QList<ByteLine> contentLines(const QList<ByteLine> &physical)
{
    QList<ByteLine> out;
    for (const ByteLine &l : physical) {
        const bool folded = !l.bytes.isEmpty() && (l.bytes[0] == ' ' || l.bytes[0] == '\t');
        if (folded && !out.isEmpty()) {
            out.last().bytes += l.bytes.mid(1);
            continue;
        }
        if (!out.isEmpty()) {
            QByteArray &last = out.last().bytes;
            const qsizetype colon = last.indexOf(':');
            const QByteArray head = colon > 0 ? last.left(colon).toUpper() : QByteArray();
            if (last.endsWith('=') && head.contains("QUOTED-PRINTABLE")) {
                last.chop(1);
                last += l.bytes;
                continue;
            }
            // 2.1 lets BASE64 data run on over lines of its own, unindented, to a blank line.
            if (head.contains("BASE64") && !l.bytes.trimmed().isEmpty() && !l.bytes.contains(':')) {
                last += l.bytes.trimmed();
                continue;
            }
        }
        out.append(l);
    }
    return out;
}

QByteArray unquote(QByteArray v)
{
    v = v.trimmed();
    if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
        v = v.mid(1, v.size() - 2);
    return v;
}

// Splits on `sep` outside double quotes.
QList<QByteArray> splitOutsideQuotes(const QByteArray &s, char sep)
{
    QList<QByteArray> parts;
    QByteArray cur;
    bool quoted = false;
    for (const char c : s) {
        if (c == '"')
            quoted = !quoted;
        if (c == sep && !quoted) {
            parts << cur;
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts << cur;
    return parts;
}

bool parseProperty(const ByteLine &l, Property &p)
{
    // The value starts at the first colon outside a quoted parameter value.
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < l.bytes.size(); ++i) {
        if (l.bytes[i] == '"')
            quoted = !quoted;
        else if (l.bytes[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon <= 0)
        return false;
    const QList<QByteArray> head = splitOutsideQuotes(l.bytes.left(colon), ';');
    p.name = head[0].trimmed().toUpper();
    const qsizetype dot = p.name.lastIndexOf('.');
    if (dot >= 0)
        p.name = p.name.mid(dot + 1);
    if (p.name.isEmpty())
        return false;
    for (qsizetype i = 1; i < head.size(); ++i) {
        const qsizetype eq = head[i].indexOf('=');
        Param param;
        if (eq < 0) {
            // 2.1: "HOME", "QUOTED-PRINTABLE", "BASE64".
            const QByteArray bare = head[i].trimmed().toUpper();
            static const QList<QByteArray> encodings = {"QUOTED-PRINTABLE", "BASE64", "B", "8BIT", "7BIT"};
            param.name = encodings.contains(bare) ? QByteArray("ENCODING") : QByteArray("TYPE");
            param.values << bare;
        } else {
            param.name = head[i].left(eq).trimmed().toUpper();
            for (const QByteArray &v : splitOutsideQuotes(head[i].mid(eq + 1), ','))
                for (const QByteArray &inner : unquote(v).split(','))
                    param.values << inner.trimmed();
        }
        p.params << param;
    }
    p.value = l.bytes.mid(colon + 1);
    p.line = l.number;
    return true;
}

QByteArray decodeQuotedPrintable(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '=' && i + 2 < in.size()) {
            bool ok = false;
            const int b = in.mid(i + 1, 2).toInt(&ok, 16);
            // A NUL can be neither stored in a field nor written back to a text file: the
            // escape stays as it was typed.
            if (ok && b != 0) {
                out += static_cast<char>(b);
                i += 2;
                continue;
            }
        }
        out += in[i];
    }
    return out;
}

bool isBinary(const Property &p)
{
    for (const QByteArray &e : p.paramValues("ENCODING"))
        if (e.toUpper() == "BASE64" || e.toUpper() == "B")
            return true;
    return p.value.trimmed().startsWith("data:");
}

QString textOf(const Property &p)
{
    QByteArray raw = p.value;
    for (const QByteArray &e : p.paramValues("ENCODING"))
        if (e.toUpper() == "QUOTED-PRINTABLE")
            raw = decodeQuotedPrintable(raw);
    const QList<QByteArray> charset = p.paramValues("CHARSET");
    return charset.isEmpty() ? decodeGuessing(raw) : decodeCharset(raw, charset.first());
}

// Splits a raw value on unescaped `sep`, keeping escapes for unescape().
QStringList splitEscaped(const QString &s, QChar sep)
{
    QStringList parts;
    QString cur;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('\\') && i + 1 < s.size()) {
            cur += s[i];
            cur += s[++i];
        } else if (s[i] == sep) {
            parts << cur;
            cur.clear();
        } else {
            cur += s[i];
        }
    }
    parts << cur;
    return parts;
}

QString unescape(const QString &s, bool newlineEscapes)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c != QLatin1Char('\\') || i + 1 == s.size()) {
            out += c;
            continue;
        }
        const QChar n = s[i + 1];
        if (newlineEscapes && (n == QLatin1Char('n') || n == QLatin1Char('N')))
            out += QLatin1Char('\n');
        else if (n == QLatin1Char(',') || n == QLatin1Char(';') || n == QLatin1Char('\\')
                 || n == QLatin1Char(':'))
            out += n;
        else {
            out += c;
            continue;
        }
        ++i;
    }
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

// The components of a structured value, each with its comma-separated values joined by `join`.
QStringList components(const QString &raw, int count, bool newlineEscapes, const QString &join)
{
    QStringList out;
    for (const QString &c : splitEscaped(raw, QLatin1Char(';'))) {
        QStringList values;
        for (const QString &v : splitEscaped(c, QLatin1Char(',')))
            if (!v.trimmed().isEmpty())
                values << unescape(v, newlineEscapes).trimmed();
        out << values.join(join);
    }
    while (out.size() < count)
        out << QString();
    return out;
}

QString joinNonEmpty(const QStringList &parts, const QString &sep)
{
    QStringList kept;
    for (const QString &p : parts)
        if (!p.isEmpty())
            kept << p;
    return kept.join(sep);
}

// The French names of what a card may hold beyond the address book's fields.
QString extraLabel(const QByteArray &name)
{
    static const QList<std::pair<QByteArray, const char *>> labels = {
        {"BDAY", "Anniversaire"},       {"ANNIVERSARY", "Date anniversaire"},
        {"NICKNAME", "Surnom"},         {"ORG", "Société"},
        {"TITLE", "Fonction"},          {"ROLE", "Rôle"},
        {"CATEGORIES", "Catégories"},   {"IMPP", "Messagerie instantanée"},
        {"LABEL", "Étiquette"},         {"GEO", "Position"},
        {"TZ", "Fuseau horaire"},       {"LANG", "Langue"},
        {"GENDER", "Genre"},            {"RELATED", "Relation"},
        {"MAILER", "Messagerie"},       {"PHOTO", "Photo"},
        {"LOGO", "Logo"},               {"SOUND", "Son"},
        {"KEY", "Clé"},                 {"FBURL", "Agenda libre/occupé"},
        {"CALURI", "Agenda"},           {"CALADRURI", "Invitations"},
        {"MEMBER", "Membre"},           {"XML", "XML"}};
    for (const auto &[n, label] : labels)
        if (n == name)
            return QString::fromUtf8(label);
    return QString::fromLatin1(name);
}

// Properties that describe the file rather than the person.
bool isBookkeeping(const QByteArray &name)
{
    static const QList<QByteArray> names = {"VERSION", "PRODID", "REV", "UID", "KIND", "SOURCE",
                                            "NAME", "PROFILE", "CLIENTPIDMAP", "SORT-STRING",
                                            "CLASS", "X-ABUID", "X-ABLABEL", "X-ABSHOWAS"};
    return names.contains(name);
}

// Preferred values first, file order otherwise.
QList<Property> preferredFirst(QList<Property> list)
{
    std::stable_partition(list.begin(), list.end(), [](const Property &p) { return p.preferred(); });
    return list;
}

QString qualifier(const Property &p)
{
    QStringList t = p.types();
    t.removeAll(QLatin1String("pref"));
    t.removeAll(QLatin1String("voice"));
    t.removeAll(QLatin1String("internet"));
    t.removeAll(QLatin1String("x400"));
    return t.join(QLatin1String(", "));
}

class CardBuilder
{
public:
    explicit CardBuilder(int line) { m_card.line = line; }
    void add(const Property &p) { m_props << p; }
    int binaryLeftOut() const { return m_binary; }

    ContactCard build()
    {
        for (const Property &p : m_props)
            if (p.name == "VERSION")
                m_escapes = !p.value.trimmed().startsWith("2.");
        QList<Property> adr, tel, email, url;
        QString fn;
        bool haveName = false;
        QStringList notes;
        for (const Property &p : m_props) {
            if (isBookkeeping(p.name))
                continue;
            if (isBinary(p)) {
                ++m_binary;
                continue;
            }
            if (p.name == "N")
                haveName = takeName(p) || haveName;
            else if (p.name == "FN")
                fn = text(p);
            else if (p.name == "ADR")
                adr << p;
            else if (p.name == "TEL")
                tel << p;
            else if (p.name == "EMAIL")
                email << p;
            else if (p.name == "URL")
                url << p;
            else if (p.name == "NOTE")
                notes << text(p);
            else if (!text(p).isEmpty())
                m_card.extras.append({extraLabel(p.name), oneLine(text(p))});
        }
        takeFullName(fn, haveName);
        takeAddresses(preferredFirst(adr));
        takePhones(preferredFirst(tel));
        takeSimple(preferredFirst(email), Email);
        takeSimple(preferredFirst(url), Web);
        QString &n = m_card[Notes];
        n = notes.join(QLatin1Char('\n'));
        while (n.endsWith(QLatin1Char('\n')))
            n.chop(1);
        return m_card;
    }

private:
    QString text(const Property &p) const { return unescape(textOf(p), m_escapes).trimmed(); }

    bool takeName(const Property &p)
    {
        const QStringList c = components(textOf(p), 5, m_escapes, QStringLiteral(" "));
        m_card[Nom] = oneLine(c[0]);
        m_card[Prenom] = oneLine(joinNonEmpty({c[1], c[2]}, QStringLiteral(" ")));
        m_namePrefixOrSuffix = !c[3].isEmpty() || !c[4].isEmpty();
        return !m_card[Nom].isEmpty() || !m_card[Prenom].isEmpty();
    }

    void takeFullName(const QString &fn, bool haveName)
    {
        if (fn.isEmpty())
            return;
        if (!haveName)
            m_card[Nom] = oneLine(fn);
        else if (m_namePrefixOrSuffix)
            m_card.extras.append({QStringLiteral("Nom complet"), oneLine(fn)});
    }

    void takeAddresses(const QList<Property> &list)
    {
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QStringList c = components(textOf(list[i]), 7, m_escapes, QStringLiteral(", "));
            const QString street = oneLine(joinNonEmpty({c[2], c[1], c[0]}, QStringLiteral(", ")));
            if (i == 0) {
                m_card[Adresse] = street;
                m_card[Ville] = oneLine(c[3]);
                m_card[Cp] = oneLine(c[5]);
                m_card[Pays] = oneLine(c[6]);
                if (!c[4].isEmpty())
                    m_card.extras.append({QStringLiteral("Région"), oneLine(c[4])});
                continue;
            }
            const QString whole = joinNonEmpty(
                {street, joinNonEmpty({c[5], c[3]}, QStringLiteral(" ")), c[4], c[6]},
                QStringLiteral(", "));
            addFieldExtra(Adresse, list[i], oneLine(whole));
        }
    }

    void takePhones(const QList<Property> &list)
    {
        for (const Property &p : list) {
            QString number = text(p);
            if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
                number = number.mid(4);
            const QStringList t = p.types();
            const CardField f = t.contains(QLatin1String("fax")) ? Fax
                : (t.contains(QLatin1String("cell")) || t.contains(QLatin1String("mobile"))) ? Mobile
                                                                                             : Tel;
            if (m_card[f].isEmpty())
                m_card[f] = oneLine(number);
            else
                addFieldExtra(f, p, oneLine(number));
        }
    }

    void takeSimple(const QList<Property> &list, CardField f)
    {
        for (const Property &p : list) {
            const QString v = oneLine(text(p));
            if (m_card[f].isEmpty())
                m_card[f] = v;
            else
                addFieldExtra(f, p, v);
        }
    }

    // A second value of a field: CardBook labels it with the field's label and the qualifier.
    void addFieldExtra(CardField f, const Property &p, const QString &v)
    {
        if (v.isEmpty())
            return;
        m_card.extras.append({qualifier(p), v, f});
    }

    ContactCard m_card;
    QList<Property> m_props;
    bool m_escapes = true;
    bool m_namePrefixOrSuffix = false;
    int m_binary = 0;
};

} // namespace

ReadCards readVCards(QByteArrayView input)
{
    QByteArray bytes = input.toByteArray();
    stripUtf8Bom(bytes);
    if (const int line = firstBinaryLine(bytes))
        return ReadCards::refused(line, QStringLiteral("ce fichier n'est pas un fichier texte (octet nul)."));
    ReadCards result;
    std::optional<CardBuilder> card;
    int cardLine = 0;
    for (const ByteLine &l : contentLines(splitLines(bytes))) {
        if (l.bytes.trimmed().isEmpty())
            continue;
        Property p;
        if (!parseProperty(l, p))
            return ReadCards::refused(l.number, QStringLiteral("cette ligne n'est pas une ligne de vCard."));
        const QByteArray value = p.value.trimmed().toUpper();
        if (p.name == "BEGIN" && value == "VCARD") {
            if (card)
                return ReadCards::refused(cardLine, QStringLiteral("la fiche qui commence ici n'a pas de END:VCARD."));
            card.emplace(l.number);
            cardLine = l.number;
        } else if (p.name == "END" && value == "VCARD") {
            if (!card)
                return ReadCards::refused(l.number, QStringLiteral("END:VCARD sans BEGIN:VCARD."));
            result.cards << card->build();
            result.binaryLeftOut += card->binaryLeftOut();
            card.reset();
        } else if (!card) {
            return ReadCards::refused(l.number, QStringLiteral("une fiche vCard commence par BEGIN:VCARD."));
        } else {
            card->add(p);
        }
    }
    if (card)
        return ReadCards::refused(cardLine, QStringLiteral("la fiche qui commence ici n'a pas de END:VCARD."));
    if (result.cards.isEmpty())
        return ReadCards::refused(1, QStringLiteral("ce fichier ne contient aucune fiche vCard."));
    return result;
}

namespace {

QString escapeText(QString s)
{
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QString out;
    out.reserve(s.size() + 8);
    for (const QChar c : s) {
        if (c == QLatin1Char('\\') || c == QLatin1Char(',') || c == QLatin1Char(';'))
            out += QLatin1Char('\\');
        if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else
            out += c;
    }
    return out;
}

// Folds a content line at 75 bytes, never inside a UTF-8 sequence.
void appendFolded(QByteArray &out, const QByteArray &line)
{
    constexpr qsizetype kMaxLine = 75;
    qsizetype start = 0;
    qsizetype room = kMaxLine;
    while (line.size() - start > room) {
        qsizetype cut = start + room;
        while (cut > start && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        out += line.mid(start, cut - start);
        out += "\r\n ";
        start = cut;
        room = kMaxLine - 1;
    }
    out += line.mid(start);
    out += "\r\n";
}

void appendProperty(QByteArray &out, const char *head, const QString &value)
{
    appendFolded(out, QByteArray(head) + ':' + value.toUtf8());
}

} // namespace

QByteArray writeVCards(const QList<ContactCard> &cards)
{
    QByteArray out;
    for (const ContactCard &c : cards) {
        out += "BEGIN:VCARD\r\nVERSION:4.0\r\n";
        // FN is the one property every 4.0 card must have.
        appendProperty(out, "FN", escapeText(c.displayName()));
        appendProperty(out, "N", escapeText(c[Nom]) + QLatin1Char(';') + escapeText(c[Prenom])
                                     + QLatin1String(";;;"));
        if (!(c[Adresse] + c[Ville] + c[Cp] + c[Pays]).isEmpty())
            appendProperty(out, "ADR", QLatin1String(";;") + escapeText(c[Adresse]) + QLatin1Char(';')
                                           + escapeText(c[Ville]) + QLatin1String(";;")
                                           + escapeText(c[Cp]) + QLatin1Char(';') + escapeText(c[Pays]));
        const std::pair<CardField, const char *> simple[] = {
            {Tel, "TEL;TYPE=voice"}, {Fax, "TEL;TYPE=fax"}, {Mobile, "TEL;TYPE=cell"},
            {Email, "EMAIL"}, {Web, "URL"}, {Notes, "NOTE"}};
        for (const auto &[field, head] : simple)
            if (!c[field].isEmpty())
                appendProperty(out, head, escapeText(c[field]));
        out += "END:VCARD\r\n";
    }
    return out;
}

} // namespace exchange
