// Where things are in src/search: this index over the three tables (one TableIndex each, the words
// in a WordTable, folded by textfold), and the window that shows its results (searchwindow,
// searchresults). Plain text comes from src/rtf, the table bytes from src/dbf.
//
// One search across the to-do notes, the information sheets and the address cards.
//
// The index reads memo.dbf, infos.dbf and adbook.dbf from the data folder (TableIndex). Its first
// build runs on a helper thread as soon as the program has opened its tables (prepare()), with
// read-only views of the files of its own, and comes back to this object's thread whole (ready());
// a search before that waits for it. Every search first brings it up to date with the files. A
// record matches when every word of the query is the beginning of some word of its text, case
// and accents aside (TextFold). Results come as rows: notes, then sheets, then cards, each in
// stored order, at most `maxRows` of them, with the number of further matches.
//
//     SearchIndex index(dataDirectory);
//     index.watch(*Dbfmemo, SearchIndex::Notes);     // this program's posts and deletes
//     index.prepare();                               // once the tables are open
//     SearchIndex::Result found = index.search(u"ecole pai"_s);
//     for (SearchIndex::Row &row : found.rows) {
//         index.describe(row, u"ecole pai"_s);
//         qDebug() << row.table << row.recNo << row.title << row.excerpt;
//     }
#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TableIndex;
class TDbf;

class SearchIndex : public QObject
{
    Q_OBJECT
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
    explicit SearchIndex(const QString &dataDirectory, QObject *parent = nullptr);
    ~SearchIndex() override;
    SearchIndex(const SearchIndex &) = delete;
    SearchIndex &operator=(const SearchIndex &) = delete;

    // Lets the program's own dataset of a table tell the index about its posts and deletes, which
    // may come faster than a file's modification time changes. The dataset may outlive the
    // index.
    void watch(TDbf &programTable, Table table);

    // Starts building the index on a helper thread when it was never built, so that the first
    // search finds it ready: the main window calls it once its tables are open and its first
    // frame is shown, the search window as it opens. The helper leaves one processor to this
    // thread. Without a thread to spare, the first search builds the index.
    void prepare();
    // True while the helper builds; ready() follows on this object's thread.
    bool isBuilding() const { return m_build != nullptr; }
    // True once built: a search then only checks the files for changes.
    bool isReady() const { return m_tables[0] != nullptr; }
    // Brings the index up to date with the tables (built on the first call; a build begun by
    // prepare() is waited for).
    void refresh();
    // Matches of `query` (an empty query matches nothing), without their excerpts.
    Result search(const QString &query, int maxRows = MaxRows);
    // Fills the excerpt of a row that `query` found, from the record as it is now: done only for
    // the rows shown, since it reads the record again.
    void describe(Row &row, const QString &query);
    // Lets the tables go until the next refresh (a helper's build ends first): a compaction
    // needs every table to itself.
    void releaseTables();
    // Live records indexed, all tables.
    int recordCount();

signals:
    // The helper's build has been taken over: searches from now on do not wait.
    void ready();

private:
    struct Build;
    struct Match
    {
        int table;
        std::size_t record;
    };
    using Tables = std::array<std::unique_ptr<TableIndex>, TableCount>;
    Tables makeTables() const;
    // Reads every table into `tables` on at most `threads` threads in all.
    static void build(Tables &tables, unsigned threads);
    // Takes over the helper's build, waiting for it to end; nothing when there is none.
    void adoptBuild();
    void forgetLastSearch();

    std::string m_folder;
    // Raised by the program's datasets (watch()); each TableIndex of its table reads them.
    std::array<std::shared_ptr<std::atomic<bool>>, TableCount> m_changed;
    // Raised as the index goes: a helper still reading stops rather than holding up the exit.
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
    Tables m_tables; // this thread's; empty until built
    std::unique_ptr<Build> m_build;
    // The last query's words and matches, reused while the user keeps typing the same words.
    std::vector<std::string> m_lastWords;
    std::vector<Match> m_lastMatches;
};
