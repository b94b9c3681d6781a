// The table file (.dbf): header, field descriptors and fixed-length records.
//
// Layout (little-endian):
//   OFFSET SIZE DESCRIPTION
//        0    1 version byte: table level; bit 7 set when the table has a memo file
//        1    3 date of last update: year - 1900, month, day
//        4    4 record count (checked against the file size at open)
//        8    2 header length (header + descriptors + 0x0D terminator)
//       10    2 record length, deletion flag included
//       28    1 production index flag (1: an .mdx belongs to the table)
//       29    1 language driver byte (code page)
//       32  32n field descriptors (48n after a 68-byte header), then 0x0D
//   header length: the records, each starting with a deletion flag (' ' live, '*' deleted),
//   then the end-of-file byte 0x1A.
// Record n (from 1) is a unit of the paged file; unit 0 is the header.
#pragma once

#include "codepage.h"
#include "dbtfile.h"
#include "pagedfile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class TTableLevel { dBaseIII, dBaseIV, dBaseVII, FoxPro, VisualFoxPro };

struct TDbfFieldDef
{
    std::string name; // upper case, unique within the table
    char letter = 'C';
    TFieldType type = TFieldType::ftString;
    int width = 0;
    int decimals = 0;
    int offset = 0; // inside the record, after the deletion flag
};

// Told about every record the table appends or rewrites, so that open indexes keep their keys.
// insertKey may refuse (return false); the append then writes nothing.
class TIndexMaintainer
{
public:
    virtual ~TIndexMaintainer() = default;
    virtual bool insertKey(std::uint32_t recNo, const std::uint8_t *record) = 0;
    virtual void deleteKey(std::uint32_t recNo, const std::uint8_t *record) = 0;
    virtual void updateKey(std::uint32_t recNo, const std::uint8_t *oldRecord,
                           const std::uint8_t *newRecord) = 0;
};

class TDbfFile : public TPagedFile
{
public:
    static constexpr std::uint8_t kLive = ' ';
    static constexpr std::uint8_t kDeleted = '*';
    static constexpr std::uint8_t kEndOfFile = 0x1A;
    static constexpr std::uint8_t kDescriptorEnd = 0x0D;

    // Where the header fields of the table above stand.
    static constexpr std::size_t kVersionAt = 0;
    static constexpr std::size_t kUpdateDateAt = 1;
    static constexpr std::size_t kRecordCountAt = 4;
    static constexpr std::size_t kHeaderLengthAt = 8;
    static constexpr std::size_t kRecordLengthAt = 10;
    static constexpr std::size_t kIndexFlagAt = 28;
    static constexpr std::size_t kLanguageDriverAt = 29;
    static constexpr std::size_t kDescriptorsAt = 32;
    // After a 68-byte header the language driver is named, in 32 bytes, where descriptors start
    // after a 32-byte one.
    static constexpr std::size_t kLanguageDriverNameAt = 32;
    static constexpr std::size_t kLanguageDriverNameSize = 32;
    static constexpr std::uint8_t kMemoFlag = 0x80; // in the version byte, on dBase levels
    // The date of last update and the record count: what every writer of the table changes.
    static constexpr std::size_t kChangeStampAt = kUpdateDateAt;
    static constexpr std::size_t kChangeStampSize = 7;

    TDbfFile();
    ~TDbfFile() override;

    // Opens the table (and its memo file). Returns false, with everything closed, when the
    // header length or the record length is 0. Throws EDbfError "Invalid DBF file." for an
    // unknown level, a damaged header or bad descriptors, "Invalid field count: …", and the
    // errors of TPagedFile::openFile. The table is held with the in-use lock shared; what a
    // killed compaction left is settled first. While a compaction runs (or another process holds
    // the table exclusively) the open waits a little, then fails with EFileOpenError. claimInUse
    // false is for the compaction itself, which holds that lock exclusively through another file.
    bool open(const std::string &path, TDbfAccess access, bool claimInUse = true);
    // Stamps the header unless read-only, then closes the memo file and the table.
    void close();

    TTableLevel level() const { return m_level; }
    std::uint8_t languageDriver() const { return header()[kLanguageDriverAt]; }
    std::uint32_t recordLength() const { return unitSize(); }
    std::uint32_t recordCount() const { return unitCount(); }
    std::uint32_t headerRecordCount() const;
    const std::vector<TDbfFieldDef> &fields() const { return m_fields; }
    TDbtFile *memoFile() const { return m_memo.get(); }

    // Code pages: the table's, and whether ICU can convert it (else the table is read-only).
    int codePage() const { return m_codePage->number(); }
    bool codePageSupported() const { return m_codePage->valid(); }
    const TCodePage &tableCodePage() const { return *m_codePage; }
    const TMemoTranslation &memoTranslation() const { return *m_memoTranslation; }

    // Records. readRecord returns false for a number outside 1..count or a short read.
    bool readRecord(std::uint32_t n, std::uint8_t *buffer) const;
    void writeRecord(std::uint32_t n, const std::uint8_t *buffer);
    // Appends under the locks; returns the new record's number, or 0 when an index refused it.
    // The record is written before the header's count, and the count never exceeds the records
    // the file holds. On failure (an exception) the file and the indexes are as they were, bar a
    // key an index would not give back.
    std::uint32_t appendRecord(const std::uint8_t *buffer);
    // Rewrites record n (locked by the caller) and tells the indexes; `old` is the copy taken when
    // it was locked. When an index or the write fails, the indexes are put back to `old` and the
    // error is passed on: the stored record is then unchanged.
    // A deleted record rewritten live (restored) gets its index keys back.
    void rewriteRecord(std::uint32_t n, const std::uint8_t *old, const std::uint8_t *buffer);
    bool lockRecord(std::uint32_t n, bool wait) { return lockUnit(n, wait); }
    void unlockRecord(std::uint32_t n) { unlockUnit(n); }
    void blankRecord(std::uint8_t *buffer) const;

    // Field values in a record buffer. Text is UTF-8 and goes through the table's code page.
    std::string rawField(const std::uint8_t *record, int field) const;
    std::string fieldText(const std::uint8_t *record, int field) const;
    void setFieldText(std::uint8_t *record, int field, const std::string &utf8) const;
    void setFieldBytes(std::uint8_t *record, int field, const std::string &bytes) const;
    std::string fitToWidth(const std::string &utf8, std::size_t width) const;
    std::uint32_t memoBlock(const std::uint8_t *record, int field) const;
    void setMemoBlock(std::uint8_t *record, int field, std::uint32_t block) const;

    // Sets the date of last update, writes the header, then the end-of-file byte after the last
    // record counted from the file size, if the file ends there and no appender holds that slot.
    void stampHeader();

    // A batch holds the header lock from beginBatch to endBatch, so appends in between skip
    // re-reading the header and write the count and date once, at endBatch. New slots are locked
    // a run at a time and stay locked until endBatch. Nested calls count.
    void beginBatch();
    void endBatch();

    // Index seam: the index module registers the indexes to keep up to date.
    void addIndexMaintainer(TIndexMaintainer *index);
    void removeIndexMaintainer(TIndexMaintainer *index);

    // Holds the header lock (record 0), waiting for it; throws EDbfError when locking fails.
    class HeaderLock
    {
    public:
        explicit HeaderLock(TDbfFile &file);
        ~HeaderLock();
        HeaderLock(const HeaderLock &) = delete;
        HeaderLock &operator=(const HeaderLock &) = delete;
        // When this is the only holder: lets go of the header and of record n (locked) at once
        // and returns true. Otherwise changes nothing and returns false.
        bool releaseWithRecord(std::uint32_t n);

    private:
        TDbfFile &m_file;
        bool m_held = true;
    };

private:
    void claim(const std::string &path, TDbfAccess access);
    void classify();
    // On a shared table, re-reads the header area (under the header lock) keeping the in-memory
    // version byte and index flag.
    void refreshHeader();
    void correctRecordCount();
    void settleUnflaggedSlots();
    void readDescriptors();
    void addField(TDbfFieldDef def);
    void openMemo(TDbfAccess access);
    void chooseCodePage();
    std::uint32_t lockNewSlot();
    bool slotEndsFile(std::uint32_t n);
    bool reserveSlots(std::uint32_t first);
    void releaseReservedSlots() noexcept;
    bool reserved(std::uint32_t n) const { return n >= m_reservedFrom && n < m_reservedEnd; }
    void writeCount(std::uint32_t count);
    bool indexesAccept(std::uint32_t n, const std::uint8_t *buffer);
    void forgetKeys(std::uint32_t n, const std::uint8_t *buffer, std::size_t count) noexcept;
    void restoreKeys(std::uint32_t n, const std::uint8_t *old, const std::uint8_t *buffer,
                     bool deleted, std::size_t count) noexcept;
    void writeNewRecord(std::uint32_t n, const std::uint8_t *buffer);
    void undeleteRecord(std::uint32_t n, const std::uint8_t *old, const std::uint8_t *buffer);
    void writeDatedHeader();
    void writeEndMark();

    TTableLevel m_level = TTableLevel::dBaseIII;
    std::vector<TDbfFieldDef> m_fields;
    std::unique_ptr<TDbtFile> m_memo;
    std::unique_ptr<TCodePage> m_codePage;
    std::unique_ptr<TCodePage> m_ansiCodePage;
    std::unique_ptr<TMemoTranslation> m_memoTranslation;
    std::vector<TIndexMaintainer *> m_indexes;
    std::uint8_t m_version = 0;
    std::uint8_t m_indexFlag = 0;
    int m_headerLocks = 0;
    int m_batchDepth = 0;
    bool m_countPending = false;
    // The last slot this process saw the file end at; the next append tries the one after it.
    std::uint32_t m_knownEnd = 0;
    bool m_slotAtEnd = false; // the slot lockNewSlot gave ended the file
    // Slots locked for the batch and checked to lie past the end: [from, end).
    std::uint32_t m_reservedFrom = 0;
    std::uint32_t m_reservedEnd = 0;
    std::unique_ptr<HeaderLock> m_batchLock;
};

// Whether a table with this version byte and language driver keeps its memos in the terminator
// style (a dBase III table) rather than length-prefixed.
bool terminatorMemos(std::uint8_t version, std::uint8_t languageDriver);

// The memo file and production index file of a table path (extension replaced).
std::string memoPathOf(const std::string &tablePath);
std::string indexPathOf(const std::string &tablePath);

// The change stamp (kChangeStampAt) of the table open on fd, read without opening it as a table:
// a reader that keeps what it read can tell whether any writer has been at the table since. Empty
// when the file is too short to hold one.
std::string dbfChangeStamp(int fd);

// Writes a new, empty table (and an empty memo file when a field is a memo). Used by the shipped
// data generator and by tests; the program itself never creates a table.
struct TDbfCreateField
{
    std::string name;
    char letter;
    int width;
    int decimals = 0;
};
// Writes today's date into a .dbf header's date of last update (bytes 1-3).
void setToday(std::uint8_t *header);
void createDbfTable(const std::string &path, std::uint8_t version, std::uint8_t languageDriver,
                    const std::vector<TDbfCreateField> &fields, std::uint16_t memoBlockSize = 512);
