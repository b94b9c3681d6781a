// A file made of a header area followed by fixed-size units (records of a table, blocks of a memo
// file), with the header held in memory and byte-range locks between processes.
//
// Unit n (from 1) starts at headerSize + (n - 1) x unitSize; unit 0 is the header. The number of
// units is worked out from the file size and kept until this process writes, locks or reads ahead
// again; readers that reach the kept count ask for a fresh one, so units appended by another
// process are still found. A trailing partial unit (the end-of-file byte of a table) is ignored.
//
// Sequential readers go through a read-ahead window (readAhead): one read call fills it, the
// following reads that move forward are served from it. Any write or lock by this process drops
// it, so a read is never staler than the last read-ahead call, and locked reads are always fresh.
//
// Locks are open-file-description locks (F_OFD_SETLK): they belong to this open file, not to the
// process, so two opens of one file in the same process exclude each other like two programs do,
// and closing some other descriptor of the file does not drop them. Two lock styles exist:
//   Virtual   unit n is locked by the single byte at 0xEFFFFFFE - n, past any real data, so locks
//             never get in the way of reading (table files);
//   RealBytes unit n is locked over its own bytes, unit 0 over the header (memo files).
// Index files use absolute blocks and call lockRange directly.
//
// The "in use" lock is one more byte, above the share marker and every record lock: each process
// that has a table open holds it shared, and compaction, which replaces the table's files, holds
// it exclusively. Read-only opens take it too, so nobody is reading a table while it is replaced.
#pragma once

#include "dbferrors.h"
#include "dbftypes.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// The file exists but cannot be opened in the requested mode (permissions, or another program
// holds it exclusively). The dataset turns it into "Impossible d'ouvrir le fichier %s".
class EFileOpenError : public std::runtime_error
{
public:
    explicit EFileOpenError(const std::string &path)
        : std::runtime_error("Cannot open file \"" + path + "\"."), m_path(path)
    {
    }
    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

class TPagedFile
{
public:
    enum class LockStyle { Virtual, RealBytes };

    TPagedFile() = default;
    virtual ~TPagedFile();
    TPagedFile(const TPagedFile &) = delete;
    TPagedFile &operator=(const TPagedFile &) = delete;

    // Opens an existing file. A missing file throws std::runtime_error with the text
    // "Open: file not found: "<path>"."; a file that cannot be opened in this mode throws
    // EFileOpenError. Shared opens hold a read lock on a marker byte and exclusive opens a write
    // lock on it, so that the two kinds keep each other out as share modes do.
    void openFile(const std::string &path, TDbfAccess access);
    // Takes the in-use lock, shared or exclusive, without waiting; false when another open file
    // holds it the other way (an exclusive lock needs a file opened for writing).
    bool lockInUse(bool exclusive);
    // Whether the path still names the file this object has open: a compaction that finished
    // between our open and our in-use lock has put another file there.
    bool stillAtPath() const;
    // Flushes the file's data to the disk or throws EDbfError naming the file.
    void sync();
    // Writes a pending header (exclusive mode) and closes; never throws.
    void closeFile();
    bool isOpen() const { return m_fd >= 0; }
    const std::string &path() const { return m_path; }
    TDbfAccess access() const { return m_access; }
    bool shared() const { return m_access == TDbfAccess::Shared; }
    bool writable() const { return m_access != TDbfAccess::ReadOnly; }
    int handle() const { return m_fd; }

    void setHeaderSize(std::uint32_t size) { m_headerSize = size; dropReadAhead(); }
    std::uint32_t headerSize() const { return m_headerSize; }
    void setUnitSize(std::uint32_t size) { m_unitSize = size; dropReadAhead(); }
    std::uint32_t unitSize() const { return m_unitSize; }
    void setLockStyle(LockStyle style) { m_lockStyle = style; }

    // The size now, 0 when closed. Moves the descriptor's offset, which nothing else uses.
    std::uint64_t fileSize() const;
    std::uint32_t unitCount() const;
    // The count from the file size now, for readers that reached the kept one.
    std::uint32_t freshUnitCount() const;
    std::uint64_t unitOffset(std::uint32_t n) const;

    // The in-memory header area (headerSize bytes once readHeader ran).
    std::vector<std::uint8_t> &header() { return m_header; }
    const std::vector<std::uint8_t> &header() const { return m_header; }
    // Loads headerSize bytes from offset 0; returns false when the file is shorter (the missing
    // bytes read as zeros).
    bool readHeader();
    // Writes the header area at offset 0: at once on a shared or read-write table, at close on an
    // exclusive one.
    void writeHeader();
    // Writes len bytes of the header area from off, with the same deferral as writeHeader.
    void writeHeaderBytes(std::size_t off, std::size_t len);
    void flushHeader();

    // Reads up to len bytes at off; returns how many were read (fewer at the end of the file).
    std::size_t readAt(std::uint64_t off, void *buffer, std::size_t len) const;
    // As readAt, through the read-ahead window when the read follows the previous one closely.
    std::size_t readAhead(std::uint64_t off, void *buffer, std::size_t len) const;
    void dropReadAhead() const;
    // Writes all len bytes at off or throws EDbfError naming the file.
    void writeAt(std::uint64_t off, const void *buffer, std::size_t len);
    // Cuts the file to `size` bytes or throws EDbfError naming the file.
    void cutAt(std::uint64_t size);
    // Reads unit n whole (through the read-ahead window); false when the file does not hold all
    // of it.
    bool readUnit(std::uint32_t n, std::uint8_t *buffer) const;
    void writeUnit(std::uint32_t n, const std::uint8_t *buffer);

    // Locks unit n. Tries once, or with wait every 10 ms for as long as another open file holds
    // the range; any other failure gives false. Without sharing there is nobody to keep out and
    // these succeed at once.
    bool lockUnit(std::uint32_t n, bool wait);
    void unlockUnit(std::uint32_t n);
    // Units first .. first + count - 1 in one call, without waiting.
    bool lockUnits(std::uint32_t first, std::uint32_t count);
    void unlockUnits(std::uint32_t first, std::uint32_t count);
    bool lockRange(std::uint64_t off, std::uint64_t len, bool wait);
    void unlockRange(std::uint64_t off, std::uint64_t len);
    // Unlocks unit n and the header (unit 0), in one call when this open file holds no lock on
    // the bytes between their ranges (an unlock over them would drop it), else in two.
    void unlockUnitAndHeader(std::uint32_t n);

private:
    struct HeldRange
    {
        std::uint64_t start;
        std::uint64_t end;
    };
    void unitRange(std::uint32_t first, std::uint32_t count, std::uint64_t &off, std::uint64_t &len) const;
    void noteLocked(std::uint64_t start, std::uint64_t end);
    void noteUnlocked(std::uint64_t start, std::uint64_t end);
    bool holdsAny(std::uint64_t start, std::uint64_t end) const;

    int m_fd = -1;
    std::string m_path;
    TDbfAccess m_access = TDbfAccess::ReadOnly;
    std::uint32_t m_headerSize = 0;
    std::uint32_t m_unitSize = 1;
    LockStyle m_lockStyle = LockStyle::Virtual;
    std::vector<std::uint8_t> m_header;
    bool m_headerPending = false;
    mutable std::vector<std::uint8_t> m_window;
    mutable std::uint64_t m_windowOff = 0;
    mutable std::size_t m_windowLen = 0;
    mutable std::uint64_t m_lastStart = 0; // the previous readAhead
    mutable std::uint64_t m_lastEnd = ~0ull;
    mutable std::uint32_t m_unitCount = 0;
    mutable bool m_unitCountKnown = false;
    // What lockRange holds, sorted and apart, merged and split as the kernel does with the locks
    // of one open file: a lock taken twice is held once, and any unlock over it drops it.
    std::vector<HeldRange> m_held;
};
