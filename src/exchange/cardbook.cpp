#include "cardbook.h"

#include "codepage.h"
#include "csvcards.h"
#include "vcard.h"
#include "dbf.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

namespace exchange {

namespace {

// The notes hold CR LF, as the page's notes field writes them.
QString storedNotes(const QString &text)
{
    QString s = text;
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return s;
}

QString plainNotes(QString stored)
{
    stored.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return stored;
}

QString rightTrimmed(QString s)
{
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == QLatin1Char(' '))
        --n;
    s.truncate(n);
    return s;
}

// The characters of `text` that the table cannot store, for the message.
QString unstorable(const TDbf &table, const QString &text)
{
    QString bad;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype len = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString c = text.mid(i, len);
        if (!table.canEncode(c.toStdString()) && !bad.contains(c))
            bad += c;
        i += len - 1;
    }
    return bad;
}

} // namespace

QString describeFault(const ReadCards &read)
{
    return QStringLiteral("Ligne %1 : %2").arg(read.errorLine).arg(read.error);
}

QString ImportReport::summary() const
{
    // French counts 0 and 1 in the singular.
    QString s = stored <= 1 ? QStringLiteral("%1 fiche enregistrée").arg(stored)
                            : QStringLiteral("%1 fiches enregistrées").arg(stored);
    s += skipped <= 1 ? QStringLiteral(", %1 déjà présente ignorée").arg(skipped)
                      : QStringLiteral(", %1 déjà présentes ignorées").arg(skipped);
    if (!intoNotes.isEmpty())
        s += QStringLiteral(", %1 valeurs gardées dans les notes").arg(intoNotes.size());
    if (binaryLeftOut > 0)
        s += QStringLiteral(", %1 images ou clés non reprises").arg(binaryLeftOut);
    return s + QLatin1Char('.');
}

struct CardBook::Prepared
{
    std::array<QString, CardFieldCount> values; // as the table will read them back
    QStringList moved;                          // labels of the values kept in the notes
    QString name;
    int line = 0;
};

CardBook::CardBook(const QString &dataDirectory, CardLabels labels)
    : m_table(std::make_unique<TDbf>("Dbfadbook")), m_labels(std::move(labels))
{
    m_table->setFilePath(dataDirectory.toStdString());
    m_table->setTableName("adbook.dbf");
    m_table->open();
    m_codePage = std::make_unique<TCodePage>(m_table->codePage());
}

CardBook::~CardBook() = default;

QList<ContactCard> CardBook::cards(int physicalRecord)
{
    QList<ContactCard> out;
    auto readCurrent = [this, &out] {
        ContactCard card;
        for (int f = 0; f < CardFieldCount; ++f)
            if (TDbfField *field = m_table->findField(CardFieldNames[f]))
                card.values[f] = QString::fromStdString(field->asString());
        card[Notes] = plainNotes(card[Notes]);
        out << card;
    };
    if (physicalRecord > 0) {
        m_table->setRecNo(physicalRecord);
        if (!m_table->isEmpty() && m_table->recNo() == physicalRecord)
            readCurrent();
        return out;
    }
    for (m_table->first(); !m_table->eof(); m_table->next())
        readCurrent();
    return out;
}

CardBook::Prepared CardBook::prepare(const ContactCard &card) const
{
    auto storedLength = [this](const QString &s) {
        return static_cast<int>(m_codePage->fromUtf8(s.toStdString()).size());
    };
    Prepared p;
    p.name = card.displayName();
    p.line = card.line;
    QStringList lines;
    for (int f = 0; f < CardFieldCount; ++f) {
        const QString &v = card.values[f];
        if (f == Notes || v.isEmpty())
            continue;
        TDbfField *field = m_table->findField(CardFieldNames[f]);
        QString fit = field ? v : QString();
        if (field && storedLength(fit) > field->size()) {
            fit.truncate(field->size());
            while (!fit.isEmpty() && storedLength(fit) > field->size())
                fit.chop(1);
        }
        fit = rightTrimmed(fit);
        if (fit != v) {
            lines << m_labels[f] + QLatin1String(" : ") + v;
            p.moved << m_labels[f];
        }
        p.values[f] = fit;
    }
    for (const CardExtra &e : card.extras) {
        const QString label = extraLabel(e, m_labels);
        lines << label + QLatin1String(" : ") + e.value;
        p.moved << label;
    }
    QString notes = card[Notes];
    if (!lines.isEmpty())
        notes += (notes.isEmpty() ? QString() : QStringLiteral("\n")) + lines.join(QLatin1Char('\n'));
    p.values[Notes] = storedNotes(notes);
    const TDbfField *notesField = m_table->findField(CardFieldNames[Notes]);
    if (!notes.isEmpty() && (!notesField || (!notesField->isBlob() && storedLength(notes) > notesField->size())))
        throw ExchangeError(QStringLiteral("Ligne %1 : les notes de la fiche « %2 » ne tiennent pas dans le carnet d'adresses.")
                                .arg(card.line).arg(p.name));
    for (const QString &v : p.values) {
        const QString bad = unstorable(*m_table, v);
        if (!bad.isEmpty())
            throw ExchangeError(QStringLiteral("Ligne %1 : la fiche « %2 » contient des caractères que le "
                                               "carnet d'adresses ne peut pas enregistrer (%3).")
                                    .arg(card.line).arg(p.name, bad));
    }
    return p;
}

QString CardBook::duplicateKey(const Prepared &p) const
{
    QStringList parts(p.values.begin(), p.values.end());
    return parts.join(QChar(0x1F));
}

QSet<QString> CardBook::storedKeys()
{
    QSet<QString> keys;
    for (const ContactCard &c : cards()) {
        Prepared p;
        p.values = c.values;
        p.values[Notes] = storedNotes(c[Notes]);
        keys.insert(duplicateKey(p));
    }
    return keys;
}

ImportReport CardBook::import(const QList<ContactCard> &cards, const ImportProgress &progress)
{
    std::vector<Prepared> prepared;
    prepared.reserve(static_cast<std::size_t>(cards.size()));
    try {
        for (const ContactCard &c : cards)
            prepared.push_back(prepare(c));
    } catch (const ExchangeError &e) {
        throw ExchangeError(e.message() + QStringLiteral(" Aucune fiche n'a été importée."));
    }

    ImportReport report;
    QSet<QString> keys = storedKeys();
    std::vector<const Prepared *> toStore;
    for (const Prepared &p : prepared) {
        if (!keys.contains(duplicateKey(p))) {
            keys.insert(duplicateKey(p));
            toStore.push_back(&p);
        } else {
            ++report.skipped;
        }
    }
    std::array<TDbfField *, CardFieldCount> fields{};
    for (int f = 0; f < CardFieldCount; ++f)
        fields[f] = m_table->findField(CardFieldNames[f]);
    const int total = static_cast<int>(toStore.size());
    m_table->beginBatch();
    try {
        for (const Prepared *p : toStore) {
            m_table->insert();
            for (int f = 0; f < CardFieldCount; ++f)
                if (fields[f] && !p->values[f].isEmpty())
                    fields[f]->setAsString(p->values[f].toStdString());
            m_table->post();
            ++report.stored;
            for (const QString &label : p->moved)
                report.intoNotes << p->name + QLatin1String(" : ") + label;
            if (progress && (report.stored % 64 == 0 || report.stored == total))
                progress(report.stored, total);
        }
    } catch (const std::exception &e) {
        if (m_table->state() == TDataSetState::dsInsert)
            m_table->cancel();
        m_table->endBatch();
        throw ExchangeError(QStringLiteral("%1 (%2 fiches enregistrées avant l'erreur)")
                                .arg(QString::fromUtf8(e.what()))
                                .arg(report.stored));
    }
    m_table->endBatch();
    return report;
}

namespace {

bool isCsvPath(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0;
}

bool looksLikeVCard(const QString &path, const QByteArray &bytes)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard"))
        return true;
    if (suffix == QLatin1String("csv"))
        return false;
    QByteArray head = bytes.left(64).trimmed().toUpper();
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.mid(3);
    return head.startsWith("BEGIN:VCARD");
}

} // namespace

ImportReport importCardFile(CardBook &book, const QString &path, const CardLabels &labels,
                            const ImportProgress &progress)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ExchangeError(QStringLiteral("Impossible de lire %1 : %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw ExchangeError(QStringLiteral("Impossible de lire %1 : %2").arg(path, file.errorString()));
    const ReadCards read = looksLikeVCard(path, bytes) ? readVCards(bytes) : readCsvCards(bytes, labels);
    if (!read.ok())
        throw ExchangeError(QStringLiteral("%1, %2 Aucune fiche n'a été importée.")
                                .arg(QFileInfo(path).fileName(), describeFault(read)));
    ImportReport report = book.import(read.cards, progress);
    report.binaryLeftOut = read.binaryLeftOut;
    return report;
}

int exportCardFile(CardBook &book, const QString &path, const CardLabels &labels, int physicalRecord)
{
    const QList<ContactCard> cards = book.cards(physicalRecord);
    saveCardFile(path, cards, labels);
    return static_cast<int>(cards.size());
}

void saveCardFile(const QString &path, const QList<ContactCard> &cards, const CardLabels &labels)
{
    const QByteArray bytes = isCsvPath(path) ? writeCsvCards(cards, labels) : writeVCards(cards);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw ExchangeError(QStringLiteral("Impossible d'écrire %1 : %2").arg(path, file.errorString()));
}

} // namespace exchange
