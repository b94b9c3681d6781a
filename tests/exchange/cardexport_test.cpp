// Cards out of the address book: what other readers (Python's vobject and csv) make of our
// files, and the same thirteen values back when we import what we exported.
#include "exchangetestutil.h"

#include <QJsonObject>

using namespace exchange;
using namespace exchangetest;

namespace {

const char *const kReadVCards = R"(
import sys, json, vobject
def text(v):
    return ','.join(v) if isinstance(v, list) else v
cards = []
for c in vobject.readComponents(open(sys.argv[1], encoding='utf-8', newline='').read()):
    d = {'NOM': text(c.n.value.family), 'PRENOM': text(c.n.value.given), 'FN': c.fn.value}
    if 'adr' in c.contents:
        a = c.adr.value
        d.update(ADRESSE=text(a.street), VILLE=text(a.city), CP=text(a.code), PAYS=text(a.country))
    for t in c.contents.get('tel', []):
        d[{'voice': 'TEL', 'fax': 'FAX', 'cell': 'MOBILE'}[t.params['TYPE'][0]]] = t.value
    for name, key in (('email', 'EMAIL'), ('url', 'WEB'), ('note', 'NOTES')):
        if name in c.contents:
            d[key] = c.contents[name][0].value
    cards.append(d)
print(json.dumps(cards))
)";

const char *const kReadCsv = R"(
import sys, json, csv
print(json.dumps(list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))))
)";

QList<ContactCard> awkwardCards()
{
    return {card({{Prenom, "Zoé"}, {Nom, "L'Écuyer, \"dit\" Zozo"}, {Adresse, "4; rue des Lilas, bât. B"},
                  {Ville, "Saint-Étienne"}, {Cp, "42000"}, {Pays, "France"}, {Tel, "04 77 00 00 00"},
                  {Fax, "04 77 00 00 01"}, {Mobile, "06 00 00 00 02"}, {Email, "zoe@example.fr"},
                  {Web, "https://example.fr/?a=1;b=2"},
                  {Notes, "première ligne\nseconde; avec, virgules \"et\" guillemets\n\\ barre\n\n fin"}}),
            card({{Nom, "Seul"}}),
            card({{Prenom, "Ève"}, {Notes, QString(QStringLiteral("é")).repeated(100)}})};
}

class CardExport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CardBook book(source.path());
        ASSERT_EQ(book.import(awkwardCards()).stored, 3);
        stored = book.cards();
    }
    DataFolder source;
    QList<ContactCard> stored;
};

TEST_F(CardExport, VobjectReadsEveryCardWithTheSameValues)
{
    CardBook book(source.path());
    const QString file = source.file(QStringLiteral("all.vcf"));
    EXPECT_EQ(exportCardFile(book, file, defaultCardLabels()), 3);
    const QJsonArray read = python(QString::fromLatin1(kReadVCards), file);
    ASSERT_EQ(read.size(), stored.size());
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const QJsonObject o = read[i].toObject();
        for (int f = 0; f < CardFieldCount; ++f)
            EXPECT_EQ(o.value(QLatin1String(CardFieldNames[f])).toString(), stored[i].values[f])
                << "card " << i << " " << CardFieldNames[f];
        EXPECT_EQ(o.value(QLatin1String("FN")).toString(), stored[i].displayName());
    }
}

TEST_F(CardExport, PythonCsvReadsAHeaderAndEveryValue)
{
    CardBook book(source.path());
    const QString file = source.file(QStringLiteral("all.csv"));
    exportCardFile(book, file, defaultCardLabels());
    const QJsonArray rows = python(QString::fromLatin1(kReadCsv), file);
    ASSERT_EQ(rows.size(), stored.size() + 1);
    EXPECT_EQ(rows[0].toArray()[4].toString(), QStringLiteral("Code postal"));
    for (qsizetype i = 0; i < stored.size(); ++i)
        for (int f = 0; f < CardFieldCount; ++f)
            EXPECT_EQ(rows[i + 1].toArray()[f].toString(), stored[i].values[f]) << CardFieldNames[f];
}

TEST_F(CardExport, ImportOfTheExportGivesTheSameCards)
{
    for (const char *name : {"back.vcf", "back.csv"}) {
        CardBook book(source.path());
        const QString file = source.file(QLatin1String(name));
        exportCardFile(book, file, defaultCardLabels());
        DataFolder target;
        CardBook copy(target.path());
        const ImportReport report = importCardFile(copy, file, defaultCardLabels());
        EXPECT_EQ(report.stored, 3) << name;
        EXPECT_TRUE(report.intoNotes.isEmpty()) << name;
        const QList<ContactCard> back = copy.cards();
        ASSERT_EQ(back.size(), stored.size()) << name;
        for (qsizetype i = 0; i < stored.size(); ++i)
            EXPECT_EQ(back[i].values, stored[i].values) << name << " card " << i;
    }
}

TEST_F(CardExport, TheCurrentCardAloneAndLinesOfAtMost75Bytes)
{
    CardBook book(source.path());
    const QString file = source.file(QStringLiteral("one.vcf"));
    EXPECT_EQ(exportCardFile(book, file, defaultCardLabels(), 3), 1);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.contains("N:;Ève;;;\r\n"));
    EXPECT_FALSE(bytes.contains("Seul"));
    for (const QByteArray &line : bytes.split('\n'))
        EXPECT_LE(line.size(), 76) << line.constData(); // 75 and the CR
}

} // namespace
