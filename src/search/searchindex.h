// One search across the to-do notes, the information sheets and the address cards.
//
// The index reads memo.dbf, infos.dbf and adbook.dbf from the data folder (TableIndex), built on
// the first search and brought up to date before every search. A record matches when every word
// of the query is the beginning of some word of its text, case and accents aside (TextFold).
// Results come as rows: notes, then sheets, then cards, each in stored order, at most `maxRows`
// of them, with the number of further matches.
//
//     SearchIndex index(dataDirectory);
//     index.watch(*Dbfmemo, SearchIndex::Notes);     // this program's posts and deletes
//     SearchIndex::Result found = index.search(u"ecole pai"_s);
//     for (SearchIndex::Row &row : found.rows) {
//         index.describe(row, u"ecole pai"_s);
//         qDebug() << SearchIndex::pageOf(row.table) << row.recNo << row.title << row.excerpt;
//     }
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TableIndex;
class TDbf;

class SearchIndex
{
public:
    enum Table { Notes, Sheets, Cards };
    static constexpr int TableCount = 3;
    static constexpr int MaxRows = 200;

    struct Row
    {
        Table table = Notes;
        int recNo = 0;        // physical record number
        QString title;        // a card: first name and name
        // Filled by describe(): the text around the first match, on one line, and the (start,
        // length) of the matched words in it.
        bool described = false;
        QString excerpt;
        std::vector<std::pair<int, int>> bold;
    };
    struct Result
    {
        std::vector<Row> rows;
        int more = 0; // matches beyond the rows
    };

    // dataDirectory ends with "/".
    explicit SearchIndex(const QString &dataDirectory);
    ~SearchIndex();
    SearchIndex(const SearchIndex &) = delete;
    SearchIndex &operator=(const SearchIndex &) = delete;

    // The notebook page that shows a table's records.
    static int pageOf(Table table);

    // Lets the program's own dataset of a table tell the index about its posts and deletes, which
    // may come faster than a file's modification time changes. The dataset may outlive the
    // index.
    void watch(TDbf &programTable, Table table);

    // Starts building the index in the background when it was never built, so that the first
    // search finds it ready, or nearly: the search window calls it as it opens. Searches wait for
    // the build to end.
    void prepare();
    // Brings the index up to date with the tables (built on the first call).
    void refresh();
    // Matches of `query` (an empty query matches nothing), without their excerpts.
    Result search(const QString &query, int maxRows = MaxRows);
    // Fills the excerpt of a row that `query` found, from the record as it is now: done only for
    // the rows shown, since it reads the record again.
    void describe(Row &row, const QString &query);
    // Lets the tables go until the next refresh (a background build ends first): a compaction
    // needs every table to itself.
    void releaseTables();
    // Live records indexed, all tables.
    int recordCount() const;

private:
    struct Match
    {
        int table;
        std::size_t record;
    };
    void refreshTables();

    std::array<std::unique_ptr<TableIndex>, TableCount> m_tables;
    bool m_built = false;
    std::future<void> m_preparing;
    // The last query's words and matches, reused while the user keeps typing the same words.
    std::vector<std::string> m_lastWords;
    std::vector<Match> m_lastMatches;
};
