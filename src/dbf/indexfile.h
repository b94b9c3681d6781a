// The production index file of a table (.mdx): up to 47 tags, each a B-tree of keys that orders
// the table's records. The byte layout is described in mdxpage.h.
//
//     TIndexFile::TableInfo table{languageDriver, /*dBaseIII*/ false, codePage, access, resolver};
//     auto index = TIndexFile::open(dir + "infos.mdx", table);   // nullptr: not usable here
//     int tag = index->findTag("");                              // the tag with the empty name
//     index->selectTag(tag);                                     // from now on it is maintained
//     index->recordAppended(recNo, record);                      // every tag takes the new key
//
// Sharing: every change to the trees happens under a lock on block 0 (the file header), taken by
// whichever process changes the file, and the reads of a cursor step take the same lock, so a
// reader never sees a page half way through a split. The header is re-read under that lock before
// a page is allocated, because another process may have allocated pages since.
//
// Pages read are kept across locks. Taking the lock reads block 0; when it differs from what
// this process last saw there (a writer bumps the change counter before its first write under
// the lock, and a split of another program moves the next free block), the kept pages go.
// Outside a batch every change under a lock is written before the lock goes.
// A batch holds the lock across many changes and writes the pages it changed once, at its end.
//
// Trust: page numbers, key counts and the depth of a tree are read from disk and checked before
// use; a damaged tree is an EDbfError naming the file and the page, never a read or a write
// outside the file's pages. Opening reads the header, the tag headers and the roots only: a
// deeper page is checked when a walk or a change first reaches it, so that opening costs the
// same for ten keys and for a million.
//
// Walks read ahead (readAhead): the entries that follow a position, leaf after leaf, are read
// under one lock and handed out without locking again. They are dropped when this process
// changes the file or another one is seen to, so a walk is never staler than its last read-ahead.
#pragma once

#include "dbferrors.h"
#include "dbftypes.h"
#include "indexbuffer.h"
#include "indexcollation.h"
#include "mdxpage.h"
#include "pagedfile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// Where a field lies in a record buffer (byte 0 of the buffer is the deletion flag).
struct TIndexField
{
    std::size_t offset = 0;
    std::size_t width = 0;
    char typeLetter = 'C';
};

// One tag as its tag table entry and tag header describe it.
struct TIndexTag
{
    std::string name;       // upper case, at most 10 characters, may be empty
    std::string expression; // upper case
    std::uint32_t headerBlock = 0;
    std::uint32_t rootBlock = 0;
    std::uint8_t flags = 0;
    char keyType = 'C';
    std::uint16_t keyLength = 0;
    std::uint16_t maxKeys = 0;
    std::uint16_t keyRecordLength = 0;
    std::uint8_t uniqueness = 0;  // 33 primary, 1 unique, 0 otherwise
    std::uint8_t entryFlag = 0;   // byte 15 of the tag table entry
    std::vector<TIndexField> parts; // the fields whose bytes make the key, in order

    bool descending() const { return (flags & mdx::kFlagDescending) != 0; }
};

// A position in a tag's tree: the page and entry index on every level, root first, leaf last.
struct TIndexLevel
{
    std::uint32_t block = 0;
    std::uint32_t index = 0;
};
using TIndexPath = std::vector<TIndexLevel>;

// Where an index cursor stands: on the entry (key, recNo) found at path, or, when that entry has
// gone (onEntry false), at the place where it would be.
struct TIndexPosition
{
    TIndexPath path;
    std::vector<std::uint8_t> key;
    std::uint32_t recNo = 0;
    bool onEntry = false;
};

// A stretch of a tag read ahead by a walk, in the walk's order: every entry with its key and the
// path to its leaf, so that a cursor can stand on it as on any position.
struct TIndexRun
{
    struct Entry
    {
        std::uint32_t recNo;
        std::uint32_t leaf;  // into pathStart
        std::uint32_t index; // in its leaf
    };
    std::vector<Entry> entries;
    TIndexBuffer keys;                     // the entries' keys, one after the other
    std::vector<TIndexLevel> levels;       // the leaves' paths, one after the other
    std::vector<std::uint32_t> pathStart;  // where each leaf's path starts in levels
    std::size_t keyLength = 0;
    std::uint64_t generation = 0;          // of the file, when read
    // Leaves this walk entered while the tree stood still: one entered twice means two branches
    // lead to it, and the walk would go round.
    std::unordered_set<std::uint32_t> leavesSeen;
    std::uint32_t lastLeaf = 0; // the leaf the last entries came from

    void clearEntries()
    {
        entries.clear();
        levels.clear();
        pathStart.clear();
    }
    // A new walk, or one that turned round.
    void restart()
    {
        clearEntries();
        leavesSeen.clear();
        lastLeaf = 0;
    }
    // As restart, and the memory goes back too.
    void release()
    {
        restart();
        entries = {};
        levels = {};
        pathStart = {};
        leavesSeen = {};
        keys.release();
    }
    // Makes pos stand on entry i.
    void positionAt(std::size_t i, TIndexPosition &pos) const
    {
        const Entry &e = entries[i];
        const std::size_t end = e.leaf + 1 < pathStart.size() ? pathStart[e.leaf + 1] : levels.size();
        pos.path.assign(levels.begin() + pathStart[e.leaf], levels.begin() + static_cast<std::ptrdiff_t>(end));
        pos.path.back().index = e.index;
        pos.key.assign(keys.data() + i * keyLength, keys.data() + (i + 1) * keyLength);
        pos.recNo = e.recNo;
        pos.onEntry = true;
    }
};

class TIndexFile
{
public:
    // What the index needs to know about its table.
    struct TableInfo
    {
        std::uint8_t languageDriver = 0; // byte 29 of the table header
        bool dBaseIII = false;           // table level dBase III
        int codePage = 0;                // code page of the stored text (keys are not translated)
        TDbfAccess access = TDbfAccess::Shared;
        // Finds a field by its upper-case name; nothing when the table has no such field.
        std::function<std::optional<TIndexField>(const std::string &)> findField;
        std::string tableName; // file name without extension, written into a new file's header
    };

    // Opens an existing index file. Fails like the table file does when the file is missing or
    // cannot be opened. Returns nullptr, with the reason in *whyUnusable, when the file cannot be
    // used with this table: language driver mismatch, a locale ICU does not have, a tag whose
    // expression this engine cannot build, or a damaged header or tree.
    static std::unique_ptr<TIndexFile> open(const std::string &path, const TableInfo &table,
                                            std::string *whyUnusable = nullptr);
    // Writes a new, empty index file (no tags) and opens it. An existing file is replaced.
    static std::unique_ptr<TIndexFile> create(const std::string &path, const TableInfo &table);

    ~TIndexFile();
    TIndexFile(const TIndexFile &) = delete;
    TIndexFile &operator=(const TIndexFile &) = delete;

    const std::string &path() const { return m_file.path(); }
    int tagCount() const { return static_cast<int>(m_tags.size()); }
    const TIndexTag &tag(int i) const { return m_tags.at(static_cast<std::size_t>(i)); }
    // Index of the tag named `name` (first 10 characters, without regard to case), or -1.
    int findTag(const std::string &name) const;
    const IndexCollation &collation() const { return m_collation; }

    // Adds a tag ordering the records by `expression` (field names joined by "+") with the
    // TIndexOption bits of `options`, then inserts the key of every record 1 to `count` read
    // through `readRecord`, deleted ones included. Needs exclusive use of the table. On failure
    // the tag is removed again and the error is thrown (texts of the engine).
    int createTag(const std::string &name, const std::string &expression, unsigned options,
                  std::uint32_t count,
                  const std::function<void(std::uint32_t, std::vector<std::uint8_t> &)> &readRecord);

    // Maintenance starts once a tag was selected (by the dataset's IndexName or by createTag).
    void selectTag(int /*tag*/) { m_live = true; }
    bool live() const { return m_live; }

    // The table's changes, told to every tag while the file is live (no-ops otherwise).
    // recordAppended inserts the keys, taking back the ones already inserted when a tag fails.
    void recordAppended(std::uint32_t recNo, const std::uint8_t *record);
    // An edit: the key moves only when its bytes changed.
    void recordRewritten(std::uint32_t recNo, const std::uint8_t *oldRecord, const std::uint8_t *newRecord);
    // A delete: the record's key leaves every tag.
    void recordDeleted(std::uint32_t recNo, const std::uint8_t *record);

    // ---- one tag -------------------------------------------------------------------------------
    std::vector<std::uint8_t> keyOf(int tag, const std::uint8_t *record) const;
    // As keyOf, into `key` (resized to the key length).
    static void keyInto(const TIndexTag &tag, const std::uint8_t *record, std::vector<std::uint8_t> &key);
    // Inserts after all equal keys; *where receives the new entry's position.
    void insertKey(int tag, const std::uint8_t *key, std::uint32_t recNo, TIndexPath *where = nullptr);
    // Removes the entry (key, recNo); false when the tag has no such entry.
    bool deleteKey(int tag, const std::uint8_t *key, std::uint32_t recNo);
    // Every record number in the tag's order (tests and checks).
    std::vector<std::uint32_t> recordsInOrder(int tag);
    // Full check of a tag: page bounds and counts, every page in order, branch keys bounding their
    // children, all leaves on one level, no page reached twice. Throws EDbfError on the first fault.
    void checkStructure(int tag);

    // ---- walking (the index cursor) ------------------------------------------------------------
    // All of these take the file's lock for their duration on a shared table.
    enum class Edge { First, Last };
    // Positions on the first or last entry of the tag; false when the tag is empty.
    bool seekEdge(int tag, Edge edge, TIndexPath &path);
    // As seekEdge, and reads the entry under the same lock: between two locks another process
    // may take that entry away.
    bool seekEdge(int tag, Edge edge, TIndexPosition &pos);
    // Positions on the first entry not smaller than key in the tag's order; with a record number,
    // on that entry among the equal keys. Returns true when an entry was found: the exact entry
    // with recNo, or (without recNo) any entry; path then points at it. Otherwise path points
    // where such an entry would be (possibly past the last entry of a leaf).
    bool seek(int tag, const std::uint8_t *key, std::optional<std::uint32_t> recNo, TIndexPath &path);
    // Steps to the next or previous entry across pages; false (path unchanged) at the end.
    bool step(int tag, TIndexPath &path, bool forward);
    // True when path still points at an entry holding (key, recNo): nobody moved it.
    bool stillAt(int tag, const TIndexPath &path, const std::uint8_t *key, std::uint32_t recNo);
    // The entry at path (which must point at one): its record number and key. A path taken under
    // an earlier lock may have been moved since: use the position forms of the seeks instead.
    std::uint32_t entryAt(int tag, const TIndexPath &path, std::vector<std::uint8_t> *key = nullptr);
    // Finds (key, recNo) and stands there; false when the tag has no such entry (pos is then the
    // place where it would be).
    bool locate(int tag, TIndexPosition &pos);
    // Steps from pos to the next or previous entry. When another process changed the tree since
    // pos was taken, the entry is found again first; when it is gone, the step starts from its
    // place. False, with pos unchanged, at the end of the tag.
    bool advance(int tag, TIndexPosition &pos, bool forward);
    // Appends to run.entries up to `wanted` entries that follow `from` (or, when that entry has
    // gone, its place) in the walk's direction; fewer at the end of the tag. Takes the lock once
    // per few hundred leaves. run.generation is the file's generation afterwards.
    void readAhead(int tag, const TIndexPosition &from, bool forward, std::size_t wanted, TIndexRun &run);
    // Moves on whenever this process changes the file or sees another process's change: what was
    // read ahead before is stale then.
    std::uint64_t generation() const { return m_generation; }
    // Where the key of record recNo went when it was inserted last into `tag`, if that was the
    // last insert; the answer is given once. Saves a search when the cursor follows a new key.
    bool takeLastInserted(int tag, std::uint32_t recNo, TIndexPosition &pos);
    // 1-based place of the entry at path in the tag's order, and the path of the n-th entry.
    std::uint32_t ordinalOf(int tag, const TIndexPath &path);
    bool seekOrdinal(int tag, std::uint32_t n, TIndexPath &path);
    bool seekOrdinal(int tag, std::uint32_t n, TIndexPosition &pos);

    // Holds the lock until endBatch; changed pages are written at endBatch (also when it throws,
    // as far as they can be). Nested calls count.
    void beginBatch();
    void endBatch();

    // Order of two keys of a tag: the tag's rule, negated for a descending tag.
    int compareKeys(const TIndexTag &tag, const std::uint8_t *a, const std::uint8_t *b) const;

private:
    // Holds block 0 of a shared index file locked; nested holders share the outer lock, because
    // unlocking an inner range would drop the outer one too.
    class Lock
    {
    public:
        explicit Lock(TIndexFile &file) : m_owner(file)
        {
            if (m_owner.m_lockDepth++ != 0)
                return;
            if (m_owner.m_file.shared() && !m_owner.m_file.lockRange(0, mdx::kBlockSize, true)) {
                --m_owner.m_lockDepth;
                throw EDbfError("Cannot lock index file \"" + m_owner.path() + "\".");
            }
            m_owner.validateCache();
        }
        ~Lock()
        {
            if (--m_owner.m_lockDepth != 0)
                return;
            m_owner.m_bumped = false;
            if (m_owner.m_file.shared())
                m_owner.m_file.unlockRange(0, mdx::kBlockSize);
        }
        Lock(const Lock &) = delete;
        Lock &operator=(const Lock &) = delete;

    private:
        TIndexFile &m_owner;
    };

    TIndexFile() = default;

    void loadHeader();
    void loadTags();
    void resolveKeyParts(TIndexTag &tag) const;
    TIndexTag describeTag(const std::string &name, const std::string &expression, unsigned options) const;
    void addTagEntry(std::size_t index, const TIndexTag &tag);
    void readTagHeader(TIndexTag &tag);
    void writeTagHeader(const TIndexTag &tag, std::uint32_t blocksUsed);
    // A page of the tag's tree, checked before use: one that lies in the file header, past the
    // end, at the tag's own header or holds more keys than a page can is reported as damage.
    TMdxPage readPage(const TIndexTag &tag, std::uint32_t block) const;
    // As readPage, without a copy: valid until the next page is read or written.
    const TMdxPage &page(const TIndexTag &tag, std::uint32_t block) const;
    // The tag's header page, whose first word is its root, not a key count.
    TMdxPage tagHeaderPage(const TIndexTag &tag) const;
    const TMdxPage &loadPage(const TIndexTag &tag, std::uint32_t block, bool treePage) const;
    void writePage(const TMdxPage &page);
    bool batching() const { return m_batchDepth > 0 && m_lockDepth > 0; }
    void noteBlock0();
    std::uint32_t allocatePage(TIndexTag &tag);
    void writeFileHeader();
    void writeHeaderBlocks(std::size_t length);
    void validateCache();
    void bumpChangeCounter();
    void flushDirtyPages();
    std::unordered_map<std::uint32_t, std::uint32_t> flushRanks() const;
    const TMdxPage &keepPage(const TMdxPage &page) const;
    [[noreturn]] void damaged(std::uint32_t block, const std::string &what) const;

    // Tree work (indextree.cpp).
    // The probe is the key prepared once for the whole descent (locale rule).
    std::uint32_t searchPage(const TIndexTag &tag, const TMdxPage &page, const std::uint8_t *key,
                             const IndexCollation::Probe &probe, bool after) const;
    void prepareSearch(const TIndexTag &tag, const std::uint8_t *key);
    void descendToEdge(const TIndexTag &tag, TIndexPath &path, bool last);
    enum class Move { Moved, End, Stale };
    Move forwardFrom(const TIndexTag &tag, TIndexPath &path);
    Move backwardFrom(const TIndexTag &tag, TIndexPath &path);
    Move climb(const TIndexTag &tag, TIndexPath &path, bool forward);
    void refreshRoot(TIndexTag &tag);
    bool walkedTooFar(std::uint64_t steps) const;
    bool relocate(int tag, const TIndexPosition &from, bool forward, TIndexPath &path);
    std::uint32_t collectLeaf(const TIndexTag &tag, const TIndexPath &path, bool forward, std::size_t wanted,
                              TIndexRun &run);
    Move nextLeaf(const TIndexTag &tag, TIndexPath &path, bool forward, std::uint32_t count);
    void growRoot(TIndexTag &tag, std::uint32_t oldRoot);
    void splitChild(TIndexTag &tag, TIndexPath &path, std::size_t level, std::uint32_t pending);
    void insertUnlocked(int tag, const std::uint8_t *key, std::uint32_t recNo, TIndexPath *where);
    bool deleteUnlocked(int tag, const std::uint8_t *key, std::uint32_t recNo);
    void checkShape(const TIndexTag &tag, bool keyOrder);

    TPagedFile m_file;
    TableInfo m_table;
    IndexCollation m_collation;
    std::vector<std::uint8_t> m_header; // blocks 0-3
    std::vector<TIndexTag> m_tags;
    bool m_live = false;
    int m_lockDepth = 0;
    // Pages read or written under the lock, valid while block 0 stays as m_seenBlock0.
    mutable std::unordered_map<std::uint32_t, TMdxPage> m_pageCache;
    mutable std::optional<TMdxPage> m_uncached; // the page read last without the lock
    TIndexPath m_probe;                         // scratch of the steps
    IndexCollation::Probe m_searchProbe;        // the key a search descends with
    std::vector<std::uint8_t> m_seenBlock0;
    std::vector<std::uint8_t> m_block0Scratch; // validateCache's read
    bool m_bumped = false; // the counter moved under the current lock
    std::uint64_t m_generation = 0;
    int m_batchDepth = 0;
    std::unique_ptr<Lock> m_batchLock;
    std::vector<std::uint32_t> m_dirty; // pages of the batch not written yet
    std::size_t m_headerPending = 0;    // bytes of the file header the batch has to write
    std::uint32_t m_batchFirstNew = 0;  // the next free block when the batch began or last flushed
    std::uint64_t m_knownSize = 0;      // the file's size under the lock, pages of a batch included
    int m_lastTag = -1;
    TIndexPosition m_lastInserted;
    std::vector<std::uint8_t> m_newKey; // the key an append inserts
};
