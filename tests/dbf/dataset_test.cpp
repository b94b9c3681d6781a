// The dataset: moves, record numbers, editing, events, errors.
#include "dbf.h"
#include "dbftestutil.h"

#include <gtest/gtest.h>

namespace {

struct DatasetTest : ::testing::Test
{
    TempDir dir;
    Table table{withMemoTable(dir)};
    TDbf &ds = table.ds;
    std::vector<std::string> events;

    void add(const std::string &title) { table.append(title); }
    std::string title() { return ds.fieldByName("TITRE").asString(); }
    std::vector<std::string> walk() { return table.titles(); }

    void recordEvents()
    {
        auto log = [this](const char *name) {
            return [this, name](TDbf &) { events.push_back(name); };
        };
        ds.BeforeInsert = log("BeforeInsert");
        ds.AfterInsert = log("AfterInsert");
        ds.BeforeEdit = log("BeforeEdit");
        ds.AfterEdit = log("AfterEdit");
        ds.BeforePost = log("BeforePost");
        ds.AfterPost = log("AfterPost");
        ds.BeforeCancel = log("BeforeCancel");
        ds.AfterCancel = log("AfterCancel");
        ds.BeforeDelete = log("BeforeDelete");
        ds.AfterDelete = log("AfterDelete");
        ds.BeforeScroll = log("BeforeScroll");
        ds.AfterScroll = log("AfterScroll");
    }

    std::string errorOf(const std::function<void()> &action)
    {
        try {
            action();
        } catch (const std::exception &e) {
            return e.what();
        }
        return "";
    }
};

TEST_F(DatasetTest, DeletedRecordKeepsPhysicalNumbersAndIsSkipped)
{
    add("one");
    add("two");
    add("three");
    ds.setRecNo(2);
    ds.deleteRecord();
    EXPECT_EQ(walk(), (std::vector<std::string>{"one", "three"}));
    ds.first();
    EXPECT_EQ(ds.recNo(), 1);
    ds.next();
    EXPECT_EQ(ds.recNo(), 3);
    EXPECT_EQ(ds.visibleRecordCount(), 2);
    EXPECT_EQ(ds.dbfFile()->headerRecordCount(), 3u);

    ds.first();
    recordEvents();
    ds.setRecNo(2);
    EXPECT_EQ(ds.recNo(), 3) << "position 2 is deleted, so the next record becomes current";
    ds.setRecNo(1);
    ds.setRecNo(3);
    EXPECT_EQ(title(), "three");
    EXPECT_TRUE(events.empty()) << "writing the record number fires no scroll events";
    const auto b = readBytes(dir.file("memo.dbf"));
    EXPECT_EQ(b[97 + 91], '*');
}

TEST_F(DatasetTest, InsertStateHasRecordNumberMinusOne)
{
    add("one");
    ds.insert();
    EXPECT_EQ(ds.state(), TDataSetState::dsInsert);
    EXPECT_EQ(ds.recNo(), -1);
    EXPECT_FALSE(ds.getBookmark());
    ds.cancel();
    EXPECT_EQ(ds.recNo(), 1);
    EXPECT_EQ(title(), "one");
}

TEST_F(DatasetTest, DeletingTheOnlyRecordLeavesNoCurrentRecord)
{
    add("only");
    ds.deleteRecord();
    EXPECT_TRUE(ds.eof());
    EXPECT_TRUE(ds.isEmpty());
    EXPECT_EQ(ds.state(), TDataSetState::dsBrowse);
    const auto b = readBytes(dir.file("memo.dbf"));
    ASSERT_EQ(b.size(), 97u + 91) << "the record stays in the file";
    EXPECT_EQ(b[97], '*');
    EXPECT_EQ(errorOf([&] { ds.deleteRecord(); }),
              "Dbfmemo: Impossible d'effectuer cette opération sur un ensemble de données vide");
}

TEST_F(DatasetTest, DeleteFiresItsEventsInOrder)
{
    add("one");
    add("two");
    ds.first();
    recordEvents();
    ds.deleteRecord();
    EXPECT_EQ(events, (std::vector<std::string>{"BeforeDelete", "BeforeScroll", "BeforeEdit",
                                                "AfterEdit", "BeforePost", "AfterPost",
                                                "AfterDelete", "AfterScroll"}));
    EXPECT_EQ(title(), "two");
}

TEST_F(DatasetTest, RefusedDeleteWritesNothing)
{
    add("one");
    const auto before = readBytes(dir.file("memo.dbf"));
    ds.BeforeDelete = [](TDbf &) { throw SilentAbort(); };
    EXPECT_THROW(ds.deleteRecord(), SilentAbort);
    EXPECT_EQ(readBytes(dir.file("memo.dbf")), before);
    EXPECT_EQ(ds.state(), TDataSetState::dsBrowse);
    EXPECT_EQ(title(), "one");
}

TEST_F(DatasetTest, EditingAndInsertingFireTheirEvents)
{
    add("one");
    recordEvents();
    ds.edit();
    ds.fieldByName("TITRE").setAsString("uno");
    ds.post();
    EXPECT_EQ(events, (std::vector<std::string>{"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost"}));
    events.clear();
    ds.insert();
    ds.cancel();
    EXPECT_EQ(events, (std::vector<std::string>{"BeforeInsert", "BeforeScroll", "AfterInsert",
                                                "AfterScroll", "BeforeCancel", "BeforeScroll",
                                                "AfterCancel", "AfterScroll"}));
    EXPECT_EQ(title(), "uno");
}

TEST_F(DatasetTest, PostingANewRecordKeepsTheCurrentOne)
{
    ds.insert();
    ds.fieldByName("TITRE").setAsString("first");
    ds.post();
    EXPECT_EQ(title(), "first") << "on an empty table the new record becomes current";
    add("second");
    add("third");
    ds.setRecNo(2);
    add("fourth");
    EXPECT_EQ(ds.recNo(), 2);
    ds.last();
    EXPECT_EQ(title(), "fourth");
    EXPECT_EQ(ds.recNo(), 4);
}

TEST_F(DatasetTest, MovesStopAtTheEndsWithTheirFlags)
{
    EXPECT_TRUE(ds.eof()) << "an empty table is at its end right after open";
    add("a");
    add("b");
    ds.first();
    EXPECT_TRUE(ds.bof());
    ds.next();
    ds.next();
    EXPECT_TRUE(ds.eof());
    EXPECT_EQ(title(), "b");
    ds.prior();
    ds.prior();
    EXPECT_TRUE(ds.bof());
    EXPECT_EQ(title(), "a");
    ds.last();
    EXPECT_TRUE(ds.eof());
    EXPECT_EQ(title(), "b");
}

TEST_F(DatasetTest, LocateIsExactAndCaseSensitive)
{
    add("noël");
    add("Noël");
    add("Noël!");
    ds.first();
    EXPECT_TRUE(ds.locate("titre", "Noël"));
    EXPECT_EQ(ds.recNo(), 2);
    ds.first();
    EXPECT_FALSE(ds.locate("titre", "NOËL"));
    EXPECT_EQ(ds.recNo(), 1) << "a failed search returns to the record it started from";
    EXPECT_TRUE(ds.locate("titre", "NOëL!", true)) << "ASCII letters fold, others do not";
    EXPECT_FALSE(ds.locate("titre", "NOëL!", false));
    EXPECT_TRUE(ds.locate("titre", "Noël!"));
    EXPECT_TRUE(ds.locate("titre", "no", false, true));
    EXPECT_EQ(ds.recNo(), 1);
    EXPECT_EQ(errorOf([&] { ds.locate("nothing", "x"); }), "Dbfmemo: Champ 'nothing' non trouvé");
}

TEST_F(DatasetTest, LocatePostsAPendingEditFirst)
{
    add("a");
    add("b");
    ds.first();
    ds.edit();
    ds.fieldByName("TITRE").setAsString("changed");
    EXPECT_TRUE(ds.locate("TITRE", "b"));
    EXPECT_EQ(ds.state(), TDataSetState::dsBrowse);
    EXPECT_EQ(walk(), (std::vector<std::string>{"changed", "b"}));
}

TEST_F(DatasetTest, BookmarksLeadBackToTheirRecord)
{
    for (const char *t : {"1", "2", "3", "4", "5"})
        add(t);
    ds.setRecNo(5);
    TBookmark mark = ds.getBookmark();
    for (const char *t : {"6", "7"})
        add(t);
    ds.first();
    ds.gotoBookmark(mark);
    EXPECT_EQ(title(), "5");
    ds.setRecNo(3);
    const TBookmark three = ds.getBookmark();
    ds.deleteRecord();
    EXPECT_EQ(errorOf([&] { ds.gotoBookmark(three); }), "Dbfmemo: Enregistrement non trouvé");
    EXPECT_LT(TDbf::compareBookmarks(three, mark), 0);
    EXPECT_GT(TDbf::compareBookmarks(std::nullopt, mark), 0);
    EXPECT_EQ(TDbf::compareBookmarks(std::nullopt, std::nullopt), 0);
    ds.freeBookmark(mark);
    EXPECT_FALSE(mark);
}

TEST_F(DatasetTest, FailuresCarryTheirTexts)
{
    add("a");
    EXPECT_EQ(errorOf([&] { ds.fieldByName("x"); }), "Dbfmemo: Champ 'x' non trouvé");
    EXPECT_EQ(errorOf([&] { ds.fieldByName("TITRE").setAsString("b"); }),
              "Dbfmemo: L'ensemble de données n'est pas en mode Edition ou Insertion");
    EXPECT_EQ(errorOf([&] { ds.setFilePath("/tmp/"); }),
              "Dbfmemo: Impossible d'effectuer cette opération sur un ensemble de données ouvert");
    ds.close();
    EXPECT_EQ(errorOf([&] { ds.next(); }),
              "Dbfmemo: Impossible d'effectuer cette opération sur un ensemble de données fermé");
    ds.setReadOnly(true);
    ds.open();
    EXPECT_FALSE(ds.canModify());
    EXPECT_EQ(errorOf([&] { ds.edit(); }),
              "Dbfmemo: Impossible de modifier un ensemble de données en lecture seule");
    EXPECT_EQ(errorOf([&] { ds.deleteRecord(); }),
              "Dbfmemo: Impossible de modifier un ensemble de données en lecture seule");
}

TEST_F(DatasetTest, SecondOpenOfTheTableFindsTheRecordLocked)
{
    add("a");
    TDbf other("Dbfother");
    openTable(other, dir, "memo.dbf");
    ds.edit();
    try {
        other.edit();
        FAIL() << "the record is being edited elsewhere";
    } catch (const EDbfError &e) {
        EXPECT_STREQ(e.what(), "Record locked.");
    }
    EXPECT_EQ(other.state(), TDataSetState::dsBrowse);
    other.insert(); // appending is not hindered
    other.fieldByName("TITRE").setAsString("b");
    other.post();
    ds.cancel();
    other.edit();
    EXPECT_EQ(other.state(), TDataSetState::dsEdit);
    other.cancel();
    ds.last();
    EXPECT_EQ(title(), "b") << "records appended elsewhere are reached without reopening";
}

TEST_F(DatasetTest, EditOnAnEmptyTableInserts)
{
    ds.edit();
    EXPECT_EQ(ds.state(), TDataSetState::dsInsert);
    ds.fieldByName("TITRE").setAsString("new");
    ds.next(); // a move posts a modified record
    EXPECT_EQ(ds.state(), TDataSetState::dsBrowse);
    EXPECT_EQ(walk(), std::vector<std::string>{"new"});
    ds.edit();
    ds.first(); // and cancels an unmodified one
    EXPECT_EQ(ds.state(), TDataSetState::dsBrowse);
}

TEST_F(DatasetTest, ControlsHearUpdateRecordBeforePostAndNothingWhileDisabled)
{
    add("a");
    std::vector<TDataEvent> heard;
    const int id = ds.addDataListener([&](TDataEvent e, TDbfField *) {
        heard.push_back(e);
        if (e == TDataEvent::UpdateRecord)
            ds.fieldByName("TITRE").setAsString("from control");
    });
    ds.edit();
    ds.post();
    EXPECT_EQ(title(), "from control");
    EXPECT_NE(std::find(heard.begin(), heard.end(), TDataEvent::UpdateState), heard.end());
    heard.clear();
    ds.disableControls();
    ds.disableControls();
    EXPECT_TRUE(ds.controlsDisabled());
    ds.first();
    ds.enableControls();
    EXPECT_TRUE(heard.empty());
    ds.enableControls();
    EXPECT_EQ(heard, std::vector<TDataEvent>{TDataEvent::DataSetChange});
    ds.removeDataListener(id);
    ds.first();
    EXPECT_EQ(heard.size(), 1u);
}

TEST_F(DatasetTest, FilePathIsResolvedAndTableNameMayCarryTheDirectory)
{
    TDbf t("Dbft");
    t.setFilePath("data");
    EXPECT_EQ(t.filePath().back(), '/');
    EXPECT_EQ(t.filePath().substr(t.filePath().size() - 5), "data/");
    EXPECT_EQ(t.filePath()[0], '/') << "relative paths resolve against the executable";
    t.setTableName(dir.file("memo.dbf"));
    EXPECT_EQ(t.filePath(), dir.path());
    EXPECT_EQ(t.tableName(), "memo.dbf");
    t.open();
    EXPECT_TRUE(t.active());
}

TEST_F(DatasetTest, MemoTextFollowsTheRecord)
{
    ds.insert();
    ds.fieldByName("TITRE").setAsString("with memo");
    ds.fieldByName("memo").setAsString("Noël");
    ds.post();
    add("without");
    ds.first();
    EXPECT_EQ(ds.fieldByName("MEMO").asString(), "Noël");
    EXPECT_EQ(ds.fieldByName("MEMO").memoBytes(), "No\xEBl");
    ds.next();
    EXPECT_TRUE(ds.fieldByName("MEMO").isNull());
    EXPECT_EQ(ds.sequentialRecNo(), 2);
}

} // namespace

namespace {

TEST_F(DatasetTest, ExclusiveOpenKeepsOtherWritersOut)
{
    add("a");
    TDbf exclusive("Dbfx");
    exclusive.setFilePath(dir.path());
    exclusive.setTableName("memo.dbf");
    exclusive.setExclusive(true);
    EXPECT_EQ(errorOf([&] { exclusive.open(); }),
              "Dbfx: Impossible d'ouvrir le fichier " + dir.file("memo.dbf"));
    EXPECT_FALSE(exclusive.active());
    ds.close();
    exclusive.open();
    EXPECT_EQ(errorOf([&] { ds.open(); }),
              "Dbfmemo: Impossible d'ouvrir le fichier " + dir.file("memo.dbf"));
    TDbf reader("Dbfr");
    reader.setFilePath(dir.path());
    reader.setTableName("memo.dbf");
    reader.setReadOnly(true);
    reader.open();
    EXPECT_EQ(reader.fieldByName("TITRE").asString(), "a");
    exclusive.insert();
    exclusive.fieldByName("TITRE").setAsString("b");
    exclusive.post();
    exclusive.close();
    const auto b = readBytes(dir.file("memo.dbf"));
    EXPECT_EQ(le32(b, 4), 2u) << "an exclusive table writes its header at close";
    EXPECT_EQ(b.size(), 97u + 2 * 91 + 1);
}

} // namespace
