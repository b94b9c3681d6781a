// Walks in index order read entries and records ahead, a little at first and more as they go on:
// these walks cross many read-aheads, turn round inside them, and meet changes of this process
// and of another one.
#include "childprocess.h"
#include "index_test_util.h"

#include "dbffile.h"

#include <algorithm>

using namespace indextest;

namespace {

constexpr int kRecords = 2500; // read-aheads of 16, 128, 1024 and more entries

std::string titleOf(int i)
{
    char text[16];
    std::snprintf(text, sizeof text, "T%05d", (i * 7919) % 100000);
    return text;
}

struct Walker : Table
{
    explicit Walker(const TempDir &dir) : Table(dir, "infos.dbf", "Dbfinfos") {}
    std::string title() { return ds.fieldByName("TITRE").asString(); }
    std::string categ() { return ds.fieldByName("CATEG").asString(); }
    void add(const std::string &title, const std::string &categ)
    {
        ds.insert();
        ds.fieldByName("TITRE").setAsString(title);
        ds.fieldByName("CATEG").setAsString(categ);
        ds.post();
    }
};

// infos.dbf without language driver (byte order) and its descending TITRE tag, kRecords records;
// returns the titles in the tag's order.
std::vector<std::string> makeTable(const TempDir &dir)
{
    makeInfosTable(dir);
    Walker w(dir);
    std::vector<std::string> titles;
    w.ds.beginBatch();
    for (int i = 0; i < kRecords; ++i) {
        titles.push_back(titleOf(i));
        w.add(titles.back(), "C" + titles.back());
    }
    w.ds.endBatch();
    std::sort(titles.begin(), titles.end(), std::greater<>());
    return titles;
}

struct Route
{
    const char *name;
    bool fromEnd;
    std::vector<int> legs; // steps forward (> 0) or back (< 0)
};

class IndexReadAheadRoutes : public ::testing::TestWithParam<Route>
{
};

} // namespace

// Every stop shows the record the tag orders there, with its place and its own fields.
TEST_P(IndexReadAheadRoutes, EveryStopIsTheEntryTheTagOrdersThere)
{
    TempDir dir;
    const std::vector<std::string> order = makeTable(dir);
    Walker w(dir);
    const Route &route = GetParam();
    int at = route.fromEnd ? kRecords - 1 : 0;
    route.fromEnd ? w.ds.last() : w.ds.first();
    for (const int leg : route.legs) {
        for (int i = 0; i < std::abs(leg); ++i) {
            leg > 0 ? w.ds.next() : w.ds.prior();
            at += leg > 0 ? 1 : -1;
            ASSERT_EQ(order[static_cast<std::size_t>(at)], w.title()) << "stop " << at;
            ASSERT_EQ("C" + w.title(), w.categ());
        }
        EXPECT_EQ(at + 1, w.ds.sequentialRecNo());
    }
    EXPECT_FALSE(w.ds.eof() || w.ds.bof());
}

INSTANTIATE_TEST_SUITE_P(
    Walks, IndexReadAheadRoutes,
    ::testing::Values(Route{"Forward", false, {kRecords - 1}}, Route{"Backward", true, {-(kRecords - 1)}},
                      Route{"TurningInsideLongReadAheads", false, {1500, -700, 300, -1000, 2000}},
                      Route{"TurningOftenNearTheStart", false, {20, -5, 30, -40, 200, -150}}),
    [](const ::testing::TestParamInfo<Route> &info) { return std::string(info.param.name); });

// Changes of this process land in the middle of a long read-ahead: the walk goes on from the
// record the change left current, meets the new record once and never the deleted one.
TEST(IndexReadAhead, ChangesOfThisProcessInTheMiddleOfAWalkAreSeenAtOnce)
{
    TempDir dir;
    const std::vector<std::string> order = makeTable(dir);
    Walker w(dir);
    w.ds.first();
    for (int i = 0; i < 600; ++i)
        w.ds.next();
    w.ds.deleteRecord();
    ASSERT_EQ(order[601], w.title());
    w.ds.edit();
    w.ds.fieldByName("CATEG").setAsString("Edited");
    w.ds.post();
    ASSERT_EQ(order[601], w.title());
    for (std::size_t at = 602; at < 650; ++at) {
        w.ds.next();
        ASSERT_EQ(order[at], w.title());
        ASSERT_EQ("C" + order[at], w.categ());
    }
    const std::string added = order[700] + "x"; // just before order[700] in descending order
    w.add(added, "New");
    ASSERT_EQ(added, w.title());
    for (std::size_t at = 700; at < order.size(); ++at) {
        w.ds.next();
        ASSERT_EQ(order[at], w.title());
    }
    w.ds.next();
    EXPECT_TRUE(w.ds.eof());

    std::vector<std::string> expected = order;
    expected.insert(expected.begin() + 700, added);
    expected.erase(expected.begin() + 600);
    EXPECT_EQ(expected, w.titles());
    w.ds.setSequentialRecNo(601);
    EXPECT_EQ("Edited", w.categ());
}

// Another process changes records that this one has read ahead: the walk under way ends without
// fault, each record at most once, and the next walk shows the changes.
TEST(IndexReadAhead, AnotherProcessesChangesAreSeenByTheNextWalk)
{
    TempDir dir;
    const std::vector<std::string> order = makeTable(dir);
    Walker w(dir);
    w.ds.first();
    for (int i = 0; i < 200; ++i)
        w.ds.next(); // the read-ahead now holds the next 1024 entries and their records
    ASSERT_TRUE(exitedCleanly(runChild([&] {
        Walker other(dir);
        other.ds.setSequentialRecNo(500);
        other.ds.edit();
        other.ds.fieldByName("CATEG").setAsString("Changed");
        other.ds.post();
        other.add(order[300] + "x", "New");
    })));
    std::vector<std::string> rest;
    for (w.ds.next(); !w.ds.eof(); w.ds.next())
        rest.push_back(w.title());
    std::sort(rest.begin(), rest.end());
    EXPECT_EQ(rest.end(), std::adjacent_find(rest.begin(), rest.end()));
    EXPECT_GE(rest.size(), order.size() - 201);

    std::vector<std::string> expected = order;
    expected.insert(expected.begin() + 300, order[300] + "x");
    EXPECT_EQ(expected, w.titles());
    ASSERT_TRUE(w.ds.locate("TITRE", order[499]));
    EXPECT_EQ("Changed", w.categ());
}
