// The index cursor and the production index of an open dataset.
//
// TIndexCursor walks the keys of one tag and reports the physical record number of the key it
// stands on; the dataset reads and filters the records as it does with the physical cursor. A
// walk reads ahead: the coming entries under one lock of the index, then their records, sorted
// by position in the table and read in a few large calls where they lie close together. What was
// read ahead goes when this process changes the table or its index, or the cursor is moved.
// TProductionIndex ties a table to its .mdx: it reconciles the dataset's index definitions with
// the file's tags, hands out the cursor for IndexName and keeps the tags up to date.
#pragma once

#include "dbf.h"
#include "dbfcursor.h"
#include "dbffile.h"
#include "indexbuffer.h"
#include "indexfile.h"

#include <memory>
#include <string>
#include <vector>

// What the index file needs to know about an open table: language driver, level, code page,
// access mode and where its fields lie.
TIndexFile::TableInfo indexTableInfo(const TDbfFile &table);

// Writes the production index file of the table at tablePath with one tag over its records and
// sets header byte 28 to announce it. Used by the shipped-data generator and by tests; the
// program itself never creates an index.
void createProductionIndex(const std::string &tablePath, const std::string &tagName,
                           const std::string &expression, unsigned options);

class TIndexCursor : public TVirtualCursor
{
public:
    TIndexCursor(TIndexFile &index, int tag, const TDbfFile &table);
    ~TIndexCursor() override;
    TIndexCursor(const TIndexCursor &) = delete;
    TIndexCursor &operator=(const TIndexCursor &) = delete;

    void first() override
    {
        dropReadAhead();
        m_where = Where::BeforeFirst;
    }
    void last() override
    {
        dropReadAhead();
        m_where = Where::AfterLast;
    }
    bool next() override { return move(true); }
    bool prior() override { return move(false); }
    // 0 while the cursor stands off the keys.
    std::uint32_t physicalRecNo() const override;
    // Builds the key of record n, searches it with n and stands there.
    void setPhysicalRecNo(std::uint32_t n) override;
    // The key's place in the tag's order, counted from 1.
    std::uint32_t sequentialRecNo() const override;
    void setSequentialRecNo(std::uint32_t n) override;
    // The new record's key was just inserted: the dataset stands on it (setPhysicalRecNo).
    bool followsAppend() const override { return true; }
    void standOnAppended(std::uint32_t n, const std::uint8_t *record) override { standOn(n, record); }

    bool takeReadAhead(std::uint32_t n, std::uint8_t *record) override;

    // After an edit moved record n's key: stand on the new key.
    void keyMoved(std::uint32_t n, const std::uint8_t *record);
    // Forgets the entries and records read ahead: this process changed the table or its index.
    void dropReadAhead();
    int tag() const { return m_tag; }

private:
    enum class Where { BeforeFirst, AfterLast, At };
    bool move(bool forward);
    bool moveWithinRun(bool forward);
    bool readRun(bool forward);
    void readRecords();
    void syncPosition();
    void standOn(std::uint32_t n, const std::uint8_t *record);

    TIndexFile &m_index;
    int m_tag;
    const TDbfFile &m_table;
    Where m_where = Where::BeforeFirst;
    TIndexPosition m_position;
    TIndexCursor **m_registration = nullptr; // cleared when the cursor goes

    // Read-ahead of a walk: the coming entries and, once the walk is under way, their records.
    // A walk that goes on reads further ahead each time, up to a bound on the records held.
    TIndexRun m_run;
    std::size_t m_runAt = 0;    // the entry the cursor stands on
    bool m_onRunEntry = false;  // it stands on m_run's entry m_runAt (m_position is behind)
    bool m_runForward = true;
    std::size_t m_runLength = 0; // entries the next read-ahead asks for
    TIndexBuffer m_records;             // one record per entry of m_run
    std::vector<bool> m_haveRecord;     // and whether it is there, not handed out yet
    std::vector<std::uint64_t> m_order; // the entries sorted by record number
    TIndexBuffer m_span;                // what one read call brings

    friend class TProductionIndex;
};

class TProductionIndex : public TIndexMaintainer
{
public:
    // Opens the production index file of `table` when header byte 28 announces one (the table
    // clears that byte when the file is missing). Returns nullptr when there is none, or when
    // the file cannot serve this table (another language driver, a locale that is not installed,
    // a damaged file): the table is then walked in stored order. Fails when the file exists but
    // cannot be opened.
    static std::unique_ptr<TProductionIndex> open(TDbfFile &table);
    ~TProductionIndex() override;

    // Adds a definition for every tag that no definition names yet (expression option, plus
    // descending, unique or primary from the tag).
    void reconcile(std::vector<TDbfIndexDef> &definitions) const;
    // The cursor for IndexName (its first 10 characters), or nullptr when no tag has that name.
    // Choosing a tag makes the file live: from then on every change of the table reaches it.
    std::unique_ptr<TVirtualCursor> cursorFor(const std::string &indexName);

    TIndexFile &file() { return *m_file; }

    // TIndexMaintainer
    bool insertKey(std::uint32_t recNo, const std::uint8_t *record) override;
    void deleteKey(std::uint32_t recNo, const std::uint8_t *record) override;
    void updateKey(std::uint32_t recNo, const std::uint8_t *oldRecord, const std::uint8_t *newRecord) override;

private:
    TProductionIndex(TDbfFile &table, std::unique_ptr<TIndexFile> file);
    void dropReadAhead();

    TDbfFile &m_table;
    std::unique_ptr<TIndexFile> m_file;
    TIndexCursor *m_cursor = nullptr; // the cursor handed out last, owned by the dataset
};
