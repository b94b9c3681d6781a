// The searchable text of one table, kept in memory and brought up to date when the table changes.
//
// The table is read through a read-only dataset of its own, so the index never moves the
// program's current records, takes no lock and sees what other processes append or rewrite (the
// engine counts records from the file size). A change is noticed through the table and memo
// files' size and modification time, the header's record count and date, and, for this
// program's own posts and deletes, a flag that the program's dataset raises.
//
// A refresh walks the live records again but only re-reads the text of those whose fields or memo
// changed: turning RTF into plain text is what costs, so the plain text is kept per record and
// recognised by the record's field values, memo block numbers and a hash of its memo bytes.
//
// The folded text itself is not kept: each record holds the numbers of its distinct words in the
// table's WordTable, which is what a search looks at. The numbers of all records lie end to end
// in one array, in record order, so that a search reads them as one stream.
#pragma once

#include "textfold.h"
#include "wordtable.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

class TDbf;
class TDbfField;
class TCodePage;
class MemoText;

// Which fields make a record's title and its text.
struct TableLayout
{
    std::string tableName;                 // "memo.dbf"
    std::vector<std::string> titleFields;  // joined by a blank
    std::vector<std::string> bodyFields;   // joined by " · ", empty values left out
};

struct IndexedRecord
{
    std::uint32_t recNo = 0; // physical record number
    QString title;
    // Where the numbers of its distinct words (title and text) lie in TableIndex::wordsOf.
    std::uint32_t wordsAt = 0;
    std::uint32_t wordCount = 0;
    std::string key;         // field values and memo block numbers as read
    std::uint64_t memoHash = 0;
};

class TableIndex
{
public:
    // changed: raised by the program's own dataset of the table on a post or delete (see
    // SearchIndex::watch), read and cleared by refresh(); it outlives any one TableIndex.
    // stop: once raised, a refresh under way ends soon, the table then unread.
    TableIndex(std::string dataDirectory, TableLayout layout, std::shared_ptr<std::atomic<bool>> changed,
               std::shared_ptr<const std::atomic<bool>> stop);
    ~TableIndex();
    TableIndex(const TableIndex &) = delete;
    TableIndex &operator=(const TableIndex &) = delete;

    // Brings the records up to date when the table changed since the last refresh. Returns true
    // when the records may differ from before. A table that cannot be read has no records (and is
    // tried again at the next refresh); the refresh never throws. It turns the memos into words on
    // at most `threads` threads, this one included.
    bool refresh(unsigned threads);
    // Closes the table until the next refresh, so that a compaction may replace its files.
    void release() { m_dbf.reset(); }

    // The live records in physical order.
    const std::vector<IndexedRecord> &records() const { return m_records; }
    // The words the records' numbers refer to.
    const WordTable &words() const { return m_words; }
    // The numbers of a record's distinct words.
    std::span<const std::uint32_t> wordsOf(const IndexedRecord &record) const
    {
        return {m_wordNumbers.data() + record.wordsAt, record.wordCount};
    }
    // The text (all but the title) of physical record recNo as it is now, read again from the
    // table: only the few records shown need it, so the index does not keep it. Empty when the
    // record is gone.
    QString body(std::uint32_t recNo);

private:
    struct Stamp
    {
        bool present = false;
        long long size = 0;
        long long inode = 0;
        long long mtime = 0; // nanoseconds
        std::string header;  // date and record count of a table file
        // Taken so soon after the file's last change that another change within the file
        // system's time granularity would leave the stamp the same: never trusted.
        bool racy = false;
        bool operator==(const Stamp &o) const
        {
            return present == o.present && size == o.size && inode == o.inode
                   && mtime == o.mtime && header == o.header;
        }
    };
    struct RawRecord;
    struct Composer;

    static Stamp stampOf(const std::string &path, bool readHeader);
    void rescan(bool memosMayHaveChanged, unsigned threads);
    // Lays the word numbers of the records out end to end, the new records' from `raw`.
    void gatherWordNumbers(std::vector<RawRecord> &raw, std::vector<IndexedRecord> &fresh);
    void readRecords(bool memosMayHaveChanged, std::vector<RawRecord> &raw,
                     std::vector<IndexedRecord> &fresh, Composer *composeNow);
    // The title and word numbers of a record read, its values let go.
    void compose(RawRecord &raw, IndexedRecord &out, Composer &composer);
    void openTable();
    // The values of the current record of m_dbf but its memos, and `key`: those values and the
    // memos' block numbers.
    void readFields(RawRecord &raw, std::string &key) const;
    // The memos of the current record into `raw`; returns the hash of their bytes.
    std::uint64_t readMemos(RawRecord &raw) const;
    void joinTexts(const RawRecord &raw, MemoText &memos, QString &title, QString &body) const;
    // The title, and the folded title and text.
    void foldTexts(const RawRecord &raw, MemoText &memos, QString &title, std::string &folded) const;
    // Appends to `words` the numbers of the distinct words of `folded`.
    void numberWords(const std::string &folded, std::vector<std::uint32_t> &words);

    std::string m_tablePath;
    std::string m_memoPath;
    TableLayout m_layout;
    std::unique_ptr<TDbf> m_dbf;
    std::vector<TDbfField *> m_fields; // title fields, then body fields; null when missing
    std::unique_ptr<TCodePage> m_ansi;
    std::unique_ptr<TextFold::ByteFolds> m_ansiFolds; // when m_ansi has one byte a character
    std::vector<IndexedRecord> m_records;
    WordTable m_words;
    std::vector<std::uint32_t> m_wordNumbers; // every record's, end to end
    std::unique_ptr<MemoText> m_bodyText;      // body()'s, kept for the next row
    std::mutex m_wordsLock; // the refresh's worker threads share m_words
    Stamp m_tableStamp;
    Stamp m_memoStamp;
    bool m_scanned = false;
    std::shared_ptr<std::atomic<bool>> m_changed;
    std::shared_ptr<const std::atomic<bool>> m_stop;
};
