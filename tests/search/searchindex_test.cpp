#include "codepage.h"
#include "searchindex.h"
#include "searchtestutil.h"
#include "textfold.h"
#include "wordtable.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using searchtest::TestTables;
using searchtest::rtf;

namespace {

// Plain memo text as the program stores it: the ANSI code page.
std::string ansi(const char *utf8)
{
    return QString::fromUtf8(utf8).toLatin1().toStdString();
}

// A long note whose matching word sits in the middle of its text.
std::string longMemo()
{
    QString text;
    for (int i = 0; i < 60; ++i)
        text += QStringLiteral("Ligne de remplissage numéro %1.\n").arg(i);
    text += QStringLiteral("Réunion des parents d'élèves jeudi.\n");
    for (int i = 0; i < 60; ++i)
        text += QStringLiteral("Encore une ligne %1.\n").arg(i);
    return rtf(text);
}

class SearchIndexTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        folder = new TestTables;
        folder->add("memo.dbf", {{"TITRE", "Élève à l'école"}, {"MEMO", longMemo()}});
        folder->add("memo.dbf", {{"TITRE", "Fantôme"}, {"MEMO", rtf(QStringLiteral("revenant jeudi"))}});
        folder->add("memo.dbf", {{"TITRE", "Courses"}, {"MEMO", ansi("acheter du pain, du fromage jeudi")}});
        folder->remove("memo.dbf", 2);
        folder->add("infos.dbf", {{"CATEG", "Voyage"},
                                  {"TITRE", "Berlin"},
                                  {"INFOS", rtf(QStringLiteral("Hôtel Straße des 17. Juni, jeudi"))}});
        folder->add("adbook.dbf", {{"PRENOM", "Jean"},
                                   {"NOM", "Dupont"},
                                   {"VILLE", "Saint-Étienne"},
                                   {"EMAIL", "jean@exemple.fr"},
                                   {"NOTES", ansi("allergique aux noix\r\njeudi")}});
        // A memo only the full reader lays out: its text still counts.
        folder->add("memo.dbf", {{"TITRE", "Tableau"},
                                 {"MEMO", "{\\rtf1 \\trowd\\cellx1000 Quincaillerie\\cell\\row}"}});
    }
    static void TearDownTestSuite() { delete folder; }

    static TestTables *folder;
};
TestTables *SearchIndexTest::folder = nullptr;

struct MatchCase
{
    const char *query;
    std::vector<std::pair<SearchIndex::Table, int>> expected; // in result order
};

class MatchingRules : public SearchIndexTest, public ::testing::WithParamInterface<MatchCase>
{
};

} // namespace

TEST_P(MatchingRules, FindsExactlyTheRecordsHoldingEveryWord)
{
    SearchIndex index(folder->qdata());
    const SearchIndex::Result result = index.search(QString::fromUtf8(GetParam().query));
    std::vector<std::pair<SearchIndex::Table, int>> found;
    for (const SearchIndex::Row &row : result.rows)
        found.emplace_back(row.table, row.recNo);
    EXPECT_EQ(found, GetParam().expected) << "query: " << GetParam().query;
    EXPECT_EQ(result.more, 0);
}

// The same records, whether the first search builds the index or the helper thread did.
TEST_P(MatchingRules, HelperThreadsBuildFindsTheSame)
{
    SearchIndex index(folder->qdata());
    QSignalSpy ready(&index, &SearchIndex::ready);
    index.prepare();
    ASSERT_TRUE(index.isBuilding());
    ASSERT_TRUE(ready.wait(10000)) << "the helper's index never came back";
    ASSERT_TRUE(index.isReady());
    std::vector<std::pair<SearchIndex::Table, int>> found;
    for (const SearchIndex::Row &row : index.search(QString::fromUtf8(GetParam().query)).rows)
        found.emplace_back(row.table, row.recNo);
    EXPECT_EQ(found, GetParam().expected) << "query: " << GetParam().query;
}

INSTANTIATE_TEST_SUITE_P(
    Queries, MatchingRules,
    ::testing::Values(
        MatchCase{"eleve", {{SearchIndex::Notes, 1}}},                  // accents in the title
        MatchCase{"ÉLÈVE", {{SearchIndex::Notes, 1}}},                  // case and accents typed
        MatchCase{"STRASSE", {{SearchIndex::Sheets, 1}}},               // ß typed as two letters
        MatchCase{"straße", {{SearchIndex::Sheets, 1}}},
        MatchCase{"ecol elev", {{SearchIndex::Notes, 1}}},              // two word beginnings
        MatchCase{"eleve fromage", {}},                                 // each word, one record
        MatchCase{"cole", {}},                                          // not a word beginning
        MatchCase{"reunion parents", {{SearchIndex::Notes, 1}}},        // deep in a long memo
        MatchCase{"revenant", {}},                                       // deleted record
        MatchCase{"fromage", {{SearchIndex::Notes, 3}}},                // memo that is not RTF
        MatchCase{"voyage", {{SearchIndex::Sheets, 1}}},                // a sheet's category
        MatchCase{"dupont jean", {{SearchIndex::Cards, 1}}},            // a card's names
        MatchCase{"etienne", {{SearchIndex::Cards, 1}}},                // after a hyphen
        MatchCase{"noix", {{SearchIndex::Cards, 1}}},                   // a card's notes
        MatchCase{"exemple.fr", {{SearchIndex::Cards, 1}}},
        MatchCase{"fr", {{SearchIndex::Notes, 3}, {SearchIndex::Cards, 1}}}, // after a dot
        MatchCase{"quincaill", {{SearchIndex::Notes, 4}}},             // a table in a memo
        MatchCase{"   ", {}},
        MatchCase{"jeudi",
                  {{SearchIndex::Notes, 1}, {SearchIndex::Notes, 3}, {SearchIndex::Sheets, 1},
                   {SearchIndex::Cards, 1}}}));                         // notes, sheets, cards

// A word is numbered once wherever it stands: in the middle of a record's text, at its very end
// (where fewer than eight bytes follow it), or added on its own.
TEST(WordNumbering, EachWordIsKeptOnceWhereverItStands)
{
    WordTable table;
    std::vector<std::string> words;
    std::string text;
    for (int length = 1; length <= 20; ++length)
        words.push_back(std::string(static_cast<std::size_t>(length), static_cast<char>('a' + length)));
    for (const char *sharing : {"abcdefg", "abcdefgh", "abcdefghi", "abcdefghij", // one beginning
                                "abcdefghijklmnop", "abcdefghijklmnoq", "abcdefghijklmnopq",
                                "abcdefghijklmnopr", "abcdefghijklmnopqrstuvwxyz0123",
                                "abcdefghijklmnopqrstuvwxyz0124", "abcdefghijklmnopqrstuvwxyz01234567"})
        words.push_back(sharing);
    for (const std::string &word : words)
        text += word + ' ';
    std::vector<std::uint32_t> first;
    table.addText(text, first);
    ASSERT_EQ(first.size(), words.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::vector<std::uint32_t> alone;
        table.addText(words[i], alone); // the word ends the text
        EXPECT_EQ(alone, std::vector<std::uint32_t>{first[i]}) << words[i];
        EXPECT_EQ(table.add(words[i]), first[i]) << words[i];
    }
    EXPECT_EQ(table.size(), words.size());
}

TEST(TextFolding, DropsCaseAndAccentsAndKeepsWordsApart)
{
    const std::pair<const char16_t *, const char *> cases[] = {
        {u"Élève", "eleve"},       {u"STRASSE", "strasse"}, {u"Straße", "strasse"},
        {u"Œuvre", "oeuvre"},      {u"e\u0301te\u0301", "ete"}, {u"l’école", "l'ecole"},
        {u"a\tb\nc\u00A0d", "a b c d"}, {u"«Noël»", " noel "},
    };
    for (const auto &[text, folded] : cases)
        EXPECT_EQ(TextFold::fold(QStringView(text)), folded) << QString::fromUtf16(text).toStdString();
}

// The table's values are folded from their UTF-8 bytes: the words must be those of the same text
// as a string, whatever the bytes (a bad sequence parts words as the replacement character does).
TEST(TextFolding, Utf8BytesGiveTheWordsOfTheSameText)
{
    const char *const cases[] = {"Élève à l'ÉCOLE", "Straße Œuvre ÆON", "日本語 Ωμέγα", "emoji 😀x 𝔘nicode",
                                 "bad\x80" "byte", "cut\xC3", "over\xC0\xAFlong", "sur\xED\xA0\x80rogate",
                                 "a\tb\r\nc,d;e", "\xF4\x90\x80\x80high"};
    for (const char *text : cases) {
        std::string fromBytes;
        TextFold::appendFoldedUtf8(text, fromBytes);
        EXPECT_EQ(TextFold::splitWords(fromBytes), TextFold::splitWords(TextFold::fold(QString::fromUtf8(text)))) << text;
    }
}

// A memo's bytes fold through their code page's table: each byte must give what folding the
// character it stands for gives, for every byte of the pages notes are written in, and for a
// page where a byte stands for a character whose fold is long.
TEST(TextFolding, EachByteOfACodePageFoldsAsItsCharacter)
{
    std::vector<std::pair<std::string, std::array<char32_t, 256>>> pages;
    for (const int number : {1252, 1250, 1251, 1253, 437, 850}) {
        const TCodePage page(number);
        ASSERT_TRUE(page.singleByte()) << number;
        std::array<char32_t, 256> characters{};
        for (int b = 0; b < 256; ++b)
            characters[b] = page.decodeByte(static_cast<std::uint8_t>(b));
        characters[0] = 0; // nothing
        pages.emplace_back("code page " + std::to_string(number), characters);
    }
    pages.push_back(pages.front());
    pages.back().first = "a byte with a long fold";
    pages.back().second[0x80] = U'\uAC01'; // a syllable that comes apart into three letters
    for (const auto &[name, characters] : pages) {
        const TextFold::ByteFolds folds(characters);
        for (int b = 1; b < 256; ++b) {
            std::string bytes{'a', static_cast<char>(b), 'z'};
            std::string folded = "kept ";
            folds.append(bytes, folded);
            const char32_t c = characters[b];
            EXPECT_EQ(folded, "kept " + TextFold::fold(QStringLiteral("a") + QString::fromUcs4(&c, 1) + QStringLiteral("z")))
                << name << ", byte " << b;
        }
        // Every byte in one run, among runs of ASCII long enough to be folded eight at a time.
        std::string all;
        QString decoded;
        for (int b = 1; b < 256; ++b) {
            all += "Hello, WORLD~" + std::string(1, static_cast<char>(b));
            const char32_t c = characters[b];
            decoded += QStringLiteral("Hello, WORLD~") + QString::fromUcs4(&c, 1);
        }
        std::string folded;
        folds.append(all, folded);
        EXPECT_EQ(folded, TextFold::fold(decoded)) << name << ", all bytes in one run";
        std::string empty;
        folds.append(std::string(1, '\0'), empty);
        EXPECT_EQ(empty, "") << "a byte standing for nothing";
    }
}

TEST_F(SearchIndexTest, RowShowsTitleAndExcerptWithTheMatchInBold)
{
    SearchIndex index(folder->qdata());
    SearchIndex::Result result = index.search(QStringLiteral("reunion eleve"));
    ASSERT_EQ(result.rows.size(), 1u);
    SearchIndex::Row &row = result.rows[0];
    index.describe(row, QStringLiteral("reunion eleve"));
    EXPECT_EQ(row.title, QStringLiteral("Élève à l'école"));
    EXPECT_TRUE(row.excerpt.startsWith(QStringLiteral("… "))) << "the excerpt starts mid-text";
    EXPECT_FALSE(row.excerpt.contains(QLatin1Char('\n')));
    QStringList bold;
    for (const auto &[start, length] : row.bold)
        bold << row.excerpt.mid(start, length);
    EXPECT_EQ(bold, QStringList({QStringLiteral("Réunion"), QStringLiteral("élève")}));

    result = index.search(QStringLiteral("dupont"));
    ASSERT_EQ(result.rows.size(), 1u);
    EXPECT_EQ(result.rows[0].title, QStringLiteral("Jean Dupont"));
}

TEST(SearchIndexLimits, ShowsAtMostTheRowLimitAndCountsTheRest)
{
    TestTables folder;
    for (int i = 0; i < 7; ++i)
        folder.add("memo.dbf", {{"TITRE", "Lot " + std::to_string(i)}});
    SearchIndex index(folder.qdata());
    const SearchIndex::Result result = index.search(QStringLiteral("lot"), 5);
    ASSERT_EQ(result.rows.size(), 5u);
    EXPECT_EQ(result.rows[4].recNo, 5);
    EXPECT_EQ(result.more, 2);
}

TEST(SearchIndexUpdates, AnotherProgramsAppendIsFoundByTheNextSearch)
{
    TestTables folder;
    folder.add("memo.dbf", {{"TITRE", "Premier"}});
    SearchIndex index(folder.qdata());
    ASSERT_EQ(index.search(QStringLiteral("premier")).rows.size(), 1u);
    ASSERT_TRUE(index.search(QStringLiteral("quetzal")).rows.empty());

    const pid_t child = ::fork();
    if (child == 0) {
        try {
            folder.add("memo.dbf", {{"TITRE", "Second"}, {"MEMO", rtf(QStringLiteral("Quetzalcoatl"))}});
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(status, 0);

    const SearchIndex::Result result = index.search(QStringLiteral("quetzal"));
    ASSERT_EQ(result.rows.size(), 1u);
    EXPECT_EQ(result.rows[0].recNo, 2);
}

// Another program may rewrite a memo where it stands, leaving the record and the file's size
// as they were: only the memo file's bytes tell.
TEST(SearchIndexUpdates, AMemoRewrittenInPlaceIsReadAgain)
{
    TestTables folder;
    folder.add("memo.dbf", {{"TITRE", "Brouillon"}, {"MEMO", ansi("Premier jet du discours")}});
    folder.add("memo.dbf", {{"TITRE", "Autre"}, {"MEMO", rtf(QStringLiteral("Quetzalcoatl"))}});
    folder.age();
    SearchIndex index(folder.qdata());
    ASSERT_EQ(index.search(QStringLiteral("premier")).rows.size(), 1u);

    QFile memo(folder.qdata() + QStringLiteral("memo.dbt"));
    ASSERT_TRUE(memo.open(QIODevice::ReadWrite));
    const qsizetype at = memo.readAll().indexOf("Premier");
    ASSERT_GT(at, 0);
    ASSERT_TRUE(memo.seek(at));
    memo.write("Dernier");
    memo.close();

    EXPECT_TRUE(index.search(QStringLiteral("premier")).rows.empty());
    EXPECT_EQ(index.search(QStringLiteral("dernier")).rows.size(), 1u);
    EXPECT_EQ(index.search(QStringLiteral("quetzal")).rows.size(), 1u);
}

TEST(SearchIndexUpdates, ThisProgramsEditsAndDeletesShowAtOnce)
{
    TestTables folder;
    folder.add("memo.dbf", {{"TITRE", "Alpha"}});
    folder.add("memo.dbf", {{"TITRE", "Beta"}});
    TDbf program("Dbfmemo");
    program.setFilePath(folder.data());
    program.setTableName("memo.dbf");
    program.open();
    SearchIndex index(folder.qdata());
    index.watch(program, SearchIndex::Notes);
    ASSERT_EQ(index.search(QStringLiteral("alpha")).rows.size(), 1u);

    program.edit(); // record 1; same length, same memo: only the flag can tell
    program.fieldByName("TITRE").setAsString("Omega");
    program.post();
    EXPECT_TRUE(index.search(QStringLiteral("alpha")).rows.empty());
    EXPECT_EQ(index.search(QStringLiteral("omega")).rows.size(), 1u);

    program.deleteRecord();
    EXPECT_TRUE(index.search(QStringLiteral("omega")).rows.empty());
    EXPECT_EQ(index.search(QStringLiteral("beta")).rows.size(), 1u);
}

// The program goes on posting while the helper reads: nothing it posts may be missing from the
// index it hands back, whichever way the two interleave.
TEST(SearchIndexUpdates, PostsAndDeletesMadeWhileTheHelperBuildsAreFound)
{
    TestTables folder;
    TDbf program("Dbfmemo");
    program.setFilePath(folder.data());
    program.setTableName("memo.dbf");
    program.open();
    const std::string memo = rtf(QStringLiteral("Un texte assez long pour que la lecture prenne "
                                                "un moment, avec des mots répétés répétés répétés."));
    for (int i = 0; i < 1500; ++i) {
        program.insert();
        program.fieldByName("TITRE").setAsString("Note " + std::to_string(i));
        program.fieldByName("MEMO").setMemoBytes(memo);
        program.post();
    }
    folder.age();
    SearchIndex index(folder.qdata());
    index.watch(program, SearchIndex::Notes);
    QSignalSpy ready(&index, &SearchIndex::ready);
    index.prepare();

    program.insert();
    program.fieldByName("TITRE").setAsString("Ajoutée pendant la lecture");
    program.post();
    program.setRecNo(1);
    program.edit(); // same length, same memo
    program.fieldByName("TITRE").setAsString("Zèbre");
    program.post();
    program.setRecNo(2);
    program.deleteRecord();
    const bool changedDuringBuild = index.isBuilding();

    ASSERT_TRUE(ready.wait(10000) || index.isReady());
    EXPECT_EQ(index.search(QStringLiteral("ajoutee lecture")).rows.size(), 1u);
    EXPECT_EQ(index.search(QStringLiteral("zebre")).rows.size(), 1u);
    const SearchIndex::Result notes = index.search(QStringLiteral("note"));
    EXPECT_EQ(notes.rows.size() + notes.more, 1498u) << "1500 notes, one renamed, one deleted";
    if (!changedDuringBuild)
        std::printf("note: the helper finished before the changes; they were checked after it\n");
}

TEST(SearchIndexUpdates, MissingOrDamagedTablesFindNothingAndDoNotFail)
{
    TestTables folder;
    folder.add("infos.dbf", {{"TITRE", "Gardée"}});
    QFile::remove(folder.qdata() + QStringLiteral("memo.dbf"));
    QFile damaged(folder.qdata() + QStringLiteral("adbook.dbf"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("not a table at all");
    damaged.close();
    SearchIndex index(folder.qdata());
    const SearchIndex::Result result = index.search(QStringLiteral("gardee"));
    ASSERT_EQ(result.rows.size(), 1u);
    EXPECT_EQ(result.rows[0].table, SearchIndex::Sheets);
}

namespace {

// Titles whose words share beginnings, accents and punctuation.
const char *const TypedTitles[] = {
    "Réunion des parents", "REUNIONS de service", "re-union", "Élève de l'école", "école-maison",
    "Marché du jeudi", "marche rapide", "Straße 5", "strasse neuve", "jean@exemple.fr",
    "Maison de campagne", "réunion maison", "Rendez-vous médecin", "l'ecole du soir",
    "Remarques", "Ré mineur", "réunion marché maison", "Mère", "mer", "rue de l'Église"};

// A naive reference: every query word begins a word of the folded title.
std::vector<int> expectedRecords(const QString &query)
{
    std::vector<int> records;
    for (std::size_t r = 0; r < std::size(TypedTitles); ++r)
        if (searchtest::holdsEveryWord(QString::fromUtf8(TypedTitles[r]), query))
            records.push_back(static_cast<int>(r) + 1);
    return records;
}

class TypingSequence : public ::testing::TestWithParam<std::vector<const char *>>
{
};

} // namespace

// Growing a query reuses the last matches; every step must still find what a fresh search finds,
// with the count of rows beyond the limit exact.
TEST_P(TypingSequence, EachStepFindsExactlyTheMatchingRecords)
{
    TestTables folder;
    for (const char *title : TypedTitles)
        folder.add("memo.dbf", {{"TITRE", title}});
    folder.age();
    constexpr int Limit = 3;
    SearchIndex index(folder.qdata());
    for (const char *typed : GetParam()) {
        const QString query = QString::fromUtf8(typed);
        const std::vector<int> expected = expectedRecords(query);
        const SearchIndex::Result result = index.search(query, Limit);
        std::vector<int> found;
        for (const SearchIndex::Row &row : result.rows)
            found.push_back(row.recNo);
        const std::size_t shown = std::min<std::size_t>(expected.size(), Limit);
        EXPECT_EQ(found, std::vector<int>(expected.begin(), expected.begin() + shown)) << typed;
        EXPECT_EQ(result.more, static_cast<int>(expected.size() - shown)) << typed;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Queries, TypingSequence,
    ::testing::Values(
        std::vector<const char *>{"r", "re", "reu", "reun", "reunion", "reunion ", "reunion m",
                                  "reunion ma", "reunion mar", "reunion marche"},
        std::vector<const char *>{"reunion marche", "reunion mar", "reunion m", "reunion", "reu",
                                  "re", "r"},
        std::vector<const char *>{"ecole", "eco", "ecole mai", "maison", "zzz", "m", "ma e",
                                  "mer", "mere", "me"},
        std::vector<const char *>{"l", "l'", "l'e", "l'ecole", "exemple.f", "exemple.fr", "fr",
                                  "strasse", "STRAẞE", "straße 5", "5"}));
