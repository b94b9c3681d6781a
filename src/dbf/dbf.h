// The dataset: one object per table, a current record, moves, editing and events.
//
// A TDbf opens FilePath + TableName, keeps a record buffer for its current record and walks the
// live records in physical order (TDbfCursor) or, when an index orders it, through an index cursor.
// All text in and out is UTF-8; the table's code page is the engine's business.
//
//     TDbf memo("Dbfmemo");
//     memo.setFilePath(dataDir);          // "/…/data/"
//     memo.setTableName("memo.dbf");
//     memo.open();                        // std::runtime_error "Open: file not found: …" if missing
//     for (memo.first(); !memo.eof(); memo.next())
//         puts(memo.fieldByName("titre").asString().c_str());
//     memo.insert();
//     memo.fieldByName("TITRE").setAsString("Acheter du pain");
//     memo.post();
//
// States (the numbers are those the pages test):
//
//     inactive(0) --open--> browse(1) --edit (record present)--> edit(2) --post/cancel--> browse
//                              |   \--insert / edit on an empty table--> insert(3) --post/cancel--> browse
//                              \--deleteRecord: passes through edit internally, back to browse
//     any --close--> inactive
//
// Moves (first, last, next, prior, locate, gotoBookmark, setRecNo) taken in edit or insert post the
// pending change first when the record was modified and cancel it otherwise.
//
// Errors: the engine's own texts are EDbfError ("Record locked.", "Invalid DBF file."); the French
// data-access texts are DataAccessError carrying this dataset's name ("Dbfmemo: Champ 'x' non
// trouvé"); a missing table file is a plain std::runtime_error. A BeforeDelete handler that throws
// SilentAbort refuses the delete: nothing is written and the exception propagates.
#pragma once

#include "dbferrors.h"
#include "dbftypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TDbf;
class TDbfFile;
class TVirtualCursor;
class TProductionIndex;

enum class TDataSetState { dsInactive = 0, dsBrowse = 1, dsEdit = 2, dsInsert = 3 };

// A bookmark is the physical record number of a record; std::nullopt is "no record".
using TBookmark = std::optional<std::uint32_t>;

// Index definition of the dataset's Indexes collection (reconciled with the .mdx at open).
struct TDbfIndexDef
{
    std::string IndexFile; // tag name, or a separate index file when it has an extension
    std::string SortField; // key expression
    unsigned Options = 0;  // TIndexOption bits
};

// What the data-aware layer hears about. `field` is set only for FieldChange.
enum class TDataEvent {
    DataSetChange, // open, close, post, cancel, delete, enableControls: show everything again
    DataSetScroll, // the current record moved
    RecordChange,  // the buffer of the current record was reloaded in place
    FieldChange,   // one field of the buffer changed
    UpdateState,   // the state changed (browse/edit/insert/inactive)
    UpdateRecord   // controls must write their pending values into the buffer now
};

class TDbfField;
using TDataListener = std::function<void(TDataEvent event, TDbfField *field)>;
using TDataSetNotifyEvent = std::function<void(TDbf &dataset)>;

// One field of the dataset, reading and writing the current record buffer.
class TDbfField
{
public:
    const std::string &fieldName() const { return m_name; }
    char typeLetter() const { return m_letter; }
    TFieldType dataType() const { return m_type; }
    int size() const { return m_size; }          // width in the record
    int index() const { return m_index; }        // position among the fields, from 0
    bool isBlob() const;                         // M, B, G

    // Value of the current record. Character fields: trailing spaces removed, UTF-8. Memo fields:
    // the memo text translated to UTF-8. Numbers, dates, logicals as their stored text.
    std::string asString() const;
    // Fails outside edit/insert with "L'ensemble de données n'est pas en mode Edition ou Insertion".
    // Character values longer than the field are cut; memo values are stored at post.
    void setAsString(const std::string &utf8);
    bool isNull() const;
    void clear(); // null: spaces in a character field, no memo block for a memo

    // True when every character of utf8 can be stored in this table's code page. The input layer
    // refuses (with a beep) what cannot be stored instead of letting it be replaced.
    bool canEncode(const std::string &utf8) const;

    // Memo contents as raw bytes in the program's ANSI code page (TDbf::ansiCodePage()); the
    // rich-text editor streams RTF through these. setMemoBytes keeps the bytes with the record
    // buffer; the memo file is written when the record is posted. *whole (when given) tells
    // whether the stored memo could be read whole: false for one cut short or past the end of a
    // damaged memo file, whose readable part is returned.
    std::string memoBytes(bool *whole = nullptr) const;
    // The same bytes into `bytes`, whose room is kept from one call to the next.
    void memoBytes(std::string &bytes, bool *whole = nullptr) const;
    void setMemoBytes(const std::string &bytes);

    // Memo block number stored in the record buffer (0 = no memo).
    std::uint32_t memoBlock() const;

private:
    friend class TDbf;
    TDbfField(TDbf &owner, int index);
    void storeMemo(std::string tableBytes);

    TDbf &m_owner;
    int m_index;
    std::string m_name;
    char m_letter = 'C';
    TFieldType m_type = TFieldType::ftString;
    int m_size = 0;
    int m_decimals = 0;
};

class TDbf
{
public:
    explicit TDbf(std::string name = {});
    ~TDbf();
    TDbf(const TDbf &) = delete;
    TDbf &operator=(const TDbf &) = delete;

    const std::string &name() const { return m_name; }

    // ---- properties (set while closed) -------------------------------------------------------
    // FilePath: absolute paths are kept, others resolve against the executable's directory; always
    // ends with "/". Changing it while open fails ("… sur un ensemble de données ouvert").
    void setFilePath(const std::string &path);
    const std::string &filePath() const { return m_filePath; }
    // A directory part given with the table name goes to FilePath.
    void setTableName(const std::string &name);
    const std::string &tableName() const { return m_tableName; }
    std::string physicalFileName() const { return m_filePath + m_tableName; }
    void setExclusive(bool on);
    bool exclusive() const { return m_exclusive; }
    void setReadOnly(bool on);
    bool readOnly() const { return m_readOnly; }
    void setShowDeleted(bool on);
    bool showDeleted() const { return m_showDeleted; }
    std::vector<TDbfIndexDef> &indexes() { return m_indexes; }
    const std::string &indexName() const { return m_indexName; }
    void setIndexName(const std::string &name);

    // ---- open and close ------------------------------------------------------------------------
    // Opens the table and stands on the first visible record. Fails with std::runtime_error
    // ("Open: file not found: "%s".") for a missing table or memo file, DataAccessError ("Impossible
    // d'ouvrir le fichier %s") when the file cannot be opened in the requested mode, EDbfError for a
    // damaged file. A header length or record length of 0 leaves the dataset closed silently.
    void open();
    void close(); // stamps the header unless read-only; closes index, memo and table files
    bool active() const { return m_state != TDataSetState::dsInactive; }
    TDataSetState state() const { return m_state; }

    // ---- moves ---------------------------------------------------------------------------------
    void first();
    void last();
    void next();
    void prior();
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    bool isEmpty() const; // no current record

    // ---- editing -------------------------------------------------------------------------------
    void insert();
    void append() { insert(); }
    // "Record locked." when another process holds the record; "The record was deleted by another
    // user." when it was deleted since it was read (the dataset then moves on, still browsing).
    void edit();
    // Writes the memos to new blocks, then the indexes and the record. When that fails the error
    // is passed on with the stored record, its memo and its index keys as they were, and the
    // dataset stays in edit or insert (cancel works, even over a damaged index).
    void post();
    // The physical number of the record the last post appended; 0 when that post appended none.
    std::uint32_t lastAppended() const { return m_lastAppended; }
    void cancel();
    void deleteRecord();
    bool canModify() const; // open, not read-only, code page convertible
    bool modified() const { return m_modified; }
    void setModified(); // marks the record buffer changed
    // Asks the controls to write their pending values (UpdateRecord); needs edit or insert.
    void updateRecord();
    // Leaves edit/insert as a move does: posts when modified, cancels otherwise.
    void checkBrowseMode();
    // A batch of posts (imports): the table's header lock, the memo file's and the index's stay
    // held from beginBatch to endBatch; the count, the memo header and changed index pages are
    // written once, at endBatch, and the new records stay locked until then. Other processes
    // wait for endBatch to open, append to or edit what the batch added. Nested calls count;
    // close ends an open batch.
    void beginBatch();
    void endBatch();

    // ---- the trash ------------------------------------------------------------------------------
    // Physical numbers of the deleted records the table still holds, in stored order.
    std::vector<std::uint32_t> deletedRecords() const;
    // A field of physical record recNo as stored, deleted or not: character fields as fieldText,
    // memo fields as the memo's bytes in the ANSI code page (as memoBytes). "" for no record.
    std::string storedFieldText(std::uint32_t recNo, const std::string &fieldName) const;
    // Clears the deletion flag of recNo under its lock, gives its keys back to the index and makes
    // it the current record (scroll events). False when the record is not deleted (any more).
    // "Record locked." when another process holds it.
    bool undelete(std::uint32_t recNo);

    // ---- fields --------------------------------------------------------------------------------
    int fieldCount() const { return static_cast<int>(m_fields.size()); }
    TDbfField &field(int index);
    TDbfField &fieldByName(const std::string &name); // case-insensitive; "Champ '%s' non trouvé"
    TDbfField *findField(const std::string &name);   // nullptr when unknown

    // ---- positions -----------------------------------------------------------------------------
    TBookmark getBookmark() const;
    void gotoBookmark(const TBookmark &bookmark); // "Enregistrement non trouvé" when deleted
    void freeBookmark(TBookmark &bookmark) { bookmark.reset(); }
    static int compareBookmarks(const TBookmark &a, const TBookmark &b);
    // Physical record number of the current record, -1 in insert state, 0 without a record.
    int recNo() const;
    void setRecNo(int physical); // re-reads as after a post; fires no scroll events
    int sequentialRecNo() const;
    void setSequentialRecNo(int number);
    int visibleRecordCount(); // walks the table, restores the position, fires no events
    // Exact, case-sensitive search of `value` in `fieldName` following the dataset's order.
    bool locate(const std::string &fieldName, const std::string &value,
                bool caseInsensitive = false, bool partialKey = false);

    // ---- controls ------------------------------------------------------------------------------
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }
    int addDataListener(TDataListener listener); // returns an id for removeDataListener
    void removeDataListener(int id);

    // ---- code pages ----------------------------------------------------------------------------
    int codePage() const;               // the table's code page, 0 when closed
    static int ansiCodePage();          // the program's ANSI code page (memo byte streams)
    bool canEncode(const std::string &utf8) const;

    // ---- events (fired in the order the operations document) ------------------------------------
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;

    // Engine access for the index file module and the tests.
    TDbfFile *dbfFile() const { return m_file.get(); }

private:
    friend class TDbfField;
    // A memo value set in edit or insert state, in the table's code page; written at post.
    struct MemoEdit
    {
        int field;
        std::string bytes;
    };

    std::string m_name;
    std::string m_filePath;
    std::string m_tableName;
    bool m_exclusive = false;
    bool m_readOnly = false;
    bool m_showDeleted = false;
    std::vector<TDbfIndexDef> m_indexes;
    std::string m_indexName;

    TDataSetState m_state = TDataSetState::dsInactive;
    std::unique_ptr<TDbfFile> m_file;
    std::unique_ptr<TProductionIndex> m_productionIndex; // the .mdx, when it serves this table
    std::unique_ptr<TVirtualCursor> m_cursor;
    std::vector<std::unique_ptr<TDbfField>> m_fields;
    std::vector<std::uint8_t> m_buffer;    // current record as stored
    std::vector<std::uint8_t> m_fetchBuffer; // fetch reads the next candidate here
    std::vector<std::uint8_t> m_oldBuffer; // copy taken when the record was locked
    std::vector<MemoEdit> m_memoEdits;     // memo values waiting for post
    std::uint32_t m_bufferRecNo = 0;       // physical number of m_buffer, 0 = none
    bool m_hasRecord = false;
    bool m_bof = true;
    bool m_eof = true;
    bool m_modified = false;
    bool m_readOnlyCodePage = false;
    bool m_locked = false;
    int m_disableCount = 0;
    int m_batchDepth = 0;
    bool m_hadRecordBeforeInsert = false;
    std::uint32_t m_lastAppended = 0;
    int m_nextListenerId = 1;
    std::vector<std::pair<int, TDataListener>> m_listeners;

    // Implementation helpers (dbf.cpp, dbfmoves.cpp, dbfediting.cpp, dbffield.cpp).
    void checkActive() const;
    void checkCanModify() const;
    void checkEditing() const;
    [[noreturn]] void raise(const std::string &message) const;
    void fire(const TDataSetNotifyEvent &event);
    void notify(TDataEvent event, TDbfField *field = nullptr);
    void setState(TDataSetState state);
    bool acceptable(std::uint32_t n, std::vector<std::uint8_t> &into) const;
    bool fetch(int direction);
    void restoreCursor();
    void resync();
    void openIndexes();
    void releaseLock();
    void finishBatch();
    void rollBackEdit();
    void writePendingMemos();
    const MemoEdit *pendingMemo(int fieldIndex) const;
    std::string storedMemo(int fieldIndex, bool *whole = nullptr) const;
    void storedMemo(int fieldIndex, std::string &bytes, bool *whole) const;
};
