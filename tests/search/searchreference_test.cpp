// The index reads memos by the shortest road it can (RTF tokens straight to folded bytes, plain
// text folded byte by byte through its code page's table, word numbers appended as it goes).
// Over varied notes, sheets and cards it must find exactly what the long road finds: each
// record's text from the full RTF reader's document or the decoded memo, folded as a string.
#include "rtfreader.h"
#include "searchindex.h"
#include "searchtestutil.h"
#include "textfold.h"

#include <QSignalSpy>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <random>

using searchtest::TestTables;
using searchtest::rtf;

namespace {

const char *const Words[] = {"Élève", "école", "Straße", "ŒUVRE", "naïve", "Ærø", "jeudi", "maison",
                             "l'été", "rendez-vous", "jean@exemple.fr", "Ωμέγα", "Москва", "Łódź",
                             "çà", "Noël", "über", "12.5", "x", "señor"};

// One record's fields, and the text the long road folds.
struct Record
{
    std::map<std::string, std::string> fields;
    QString text;
};

std::string latin1(const QString &text)
{
    return text.toLatin1().toStdString();
}

QString documentText(const std::string &bytes)
{
    QTextDocument doc;
    RtfReader::read(QByteArrayView(bytes.data(), qsizetype(bytes.size())), &doc);
    return doc.toPlainText();
}

class Records
{
public:
    explicit Records(unsigned seed) : m_random(seed) {}

    QString words(int count, bool latin1Only)
    {
        QString out;
        std::uniform_int_distribution<int> pick(0, int(std::size(Words)) - 1);
        for (int i = 0; i < count; ++i) {
            QString word = QString::fromUtf8(Words[pick(m_random)]);
            if (latin1Only && std::any_of(word.begin(), word.end(), [](QChar c) { return c.unicode() > 0xFF; }))
                word = QStringLiteral("zz"); // what the table's code page cannot hold
            out += (i == 0 ? QString() : m_random() % 5 == 0 ? QStringLiteral(",\n") : QStringLiteral(" ")) + word;
        }
        return out;
    }

    // A memo as the editor writes it, as another program's page writes it, or as plain text.
    std::pair<std::string, QString> memo()
    {
        switch (m_random() % 4) {
        case 0: {
            const QString text = words(int(m_random() % 30), false);
            return {rtf(text), text};
        }
        case 1: { // Cyrillic in its own page, then Central European by a font's charset
            const std::string bytes = "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0 A;}{\\f1\\fcharset238 B;}}"
                                      "\\'cc\\'ee\\'f1\\'ea\\'e2\\'e0 {\\f1 \\'a3\\'f3d\\'9f}\\par tab\\tab end\\'00}";
            return {bytes, documentText(bytes)};
        }
        case 2: {
            const QString text = words(int(m_random() % 30), true);
            return {latin1(text), QString::fromLatin1(latin1(text))};
        }
        default: {
            const std::string bytes = "{\\rtf1\\ansi " + latin1(QStringLiteral("caf")) + "\\'e9 \\'a0na\\'efve\\'ad\\'81 \\u937?x}";
            return {bytes, documentText(bytes)};
        }
        }
    }

private:
    std::mt19937 m_random;
};

// The records of one table that hold every word of the query at a word's beginning.
std::vector<int> expectedRecords(const std::vector<Record> &records, const QString &query)
{
    std::vector<int> found;
    for (std::size_t r = 0; r < records.size(); ++r)
        if (searchtest::holdsEveryWord(records[r].text, query))
            found.push_back(int(r) + 1);
    return found;
}

} // namespace

TEST(SearchAgainstTheLongRoad, FindsWhatTheFullReaderAndStringFoldingFind)
{
    TestTables folder;
    Records make(20261209);
    std::array<std::vector<Record>, SearchIndex::TableCount> tables;
    for (int i = 0; i < 40; ++i) {
        auto [notes, notesText] = make.memo();
        const QString title = make.words(2, true);
        tables[SearchIndex::Notes].push_back({{{"TITRE", title.toStdString()}, {"MEMO", notes}}, title + u' ' + notesText});
        auto [infos, infosText] = make.memo();
        const QString category = make.words(1, true);
        tables[SearchIndex::Sheets].push_back({{{"TITRE", title.toStdString()}, {"CATEG", category.toStdString()}, {"INFOS", infos}},
                                               title + u' ' + category + u' ' + infosText});
        const QString city = make.words(2, true);
        const QString plain = make.words(int(i % 12), true);
        tables[SearchIndex::Cards].push_back({{{"PRENOM", title.toStdString()}, {"VILLE", city.toStdString()}, {"NOTES", latin1(plain)}},
                                              title + u' ' + city + u' ' + plain});
    }
    const char *const names[] = {"memo.dbf", "infos.dbf", "adbook.dbf"};
    for (int t = 0; t < SearchIndex::TableCount; ++t)
        for (const Record &record : tables[t])
            folder.add(names[t], record.fields);

    // Built on the first search and on the helper thread alike.
    SearchIndex direct(folder.qdata());
    SearchIndex helped(folder.qdata());
    QSignalSpy ready(&helped, &SearchIndex::ready);
    helped.prepare();
    ASSERT_TRUE(ready.wait(10000)) << "the helper's index never came back";

    std::vector<QString> queries;
    for (const char *word : Words) {
        const std::string folded = TextFold::fold(QString::fromUtf8(word));
        for (std::size_t length : {std::size_t{1}, std::size_t{3}, folded.size()})
            queries.push_back(QString::fromStdString(folded.substr(0, std::min(length, folded.size()))));
        queries.push_back(QString::fromUtf8(word) + QStringLiteral(" jeu"));
    }
    for (const char *typed : {"moskva", "москва", "lodz", "cafe naive", "tab end", "ω", "x", "zz"})
        queries.push_back(QString::fromUtf8(typed));

    for (const QString &query : queries) {
        std::vector<std::pair<int, int>> expected;
        for (int t = 0; t < SearchIndex::TableCount; ++t)
            for (const int recNo : expectedRecords(tables[t], query))
                expected.emplace_back(t, recNo);
        for (SearchIndex *index : {&direct, &helped}) {
            std::vector<std::pair<int, int>> found;
            for (const SearchIndex::Row &row : index->search(query, 1000).rows)
                found.emplace_back(int(row.table), row.recNo);
            EXPECT_EQ(found, expected) << "query \"" << query.toStdString() << "\""
                                       << (index == &helped ? " (helper's index)" : "");
        }
    }
}
