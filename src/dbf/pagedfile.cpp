#include "pagedfile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Virtual lock bytes: record n at kLockBase - n; the marker byte that tells shared from exclusive
// opens sits just above the header's lock byte.
constexpr std::uint64_t kLockBase = 0xEFFFFFFEull;
constexpr std::uint64_t kShareMarker = 0xEFFFFFFFull;
constexpr std::uint64_t kInUse = 0xF0000000ull;

// Read-ahead: the window, and how far past the previous read a read may start and still count as
// sequential (the unused tail of a memo's last block).
constexpr std::size_t kWindowSize = 64 * 1024;
constexpr std::uint64_t kSequentialGap = 4096;

// Returns 0 on success, otherwise errno.
int setLock(int fd, short type, std::uint64_t off, std::uint64_t len)
{
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(off);
    fl.l_len = static_cast<off_t>(len);
    fl.l_pid = 0;
    if (fcntl(fd, F_OFD_SETLK, &fl) == 0)
        return 0;
    return errno;
}

bool heldByOther(int err)
{
    return err == EAGAIN || err == EACCES;
}

} // namespace

TPagedFile::~TPagedFile()
{
    closeFile();
}

void TPagedFile::openFile(const std::string &path, TDbfAccess access)
{
    closeFile();
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT)
        throw std::runtime_error("Open: file not found: \"" + path + "\".");
    const int flags = (access == TDbfAccess::ReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        if (errno == ENOENT)
            throw std::runtime_error("Open: file not found: \"" + path + "\".");
        throw EFileOpenError(path);
    }
    if (access != TDbfAccess::ReadOnly) {
        const short type = access == TDbfAccess::Exclusive ? F_WRLCK : F_RDLCK;
        if (setLock(fd, type, kShareMarker, 1) != 0) {
            ::close(fd);
            throw EFileOpenError(path);
        }
    }
    m_fd = fd;
    m_path = path;
    m_access = access;
    m_header.clear();
    m_headerPending = false;
    dropReadAhead();
    m_lastEnd = ~0ull;
}

bool TPagedFile::lockInUse(bool exclusive)
{
    return m_fd >= 0 && setLock(m_fd, exclusive ? F_WRLCK : F_RDLCK, kInUse, 1) == 0;
}

bool TPagedFile::stillAtPath() const
{
    struct stat opened, named;
    return m_fd >= 0 && ::fstat(m_fd, &opened) == 0 && ::stat(m_path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

void TPagedFile::sync()
{
    flushHeader();
    int result;
    do
        result = ::fdatasync(m_fd);
    while (result != 0 && errno == EINTR);
    if (result != 0)
        throw EDbfError("Cannot write to file \"" + m_path + "\": " + std::strerror(errno) + ".");
}

void TPagedFile::closeFile()
{
    if (m_fd < 0)
        return;
    try {
        flushHeader();
    } catch (const std::exception &) {
        // Closing must not throw; a failed write was already reported by the stamp that made it.
    }
    ::close(m_fd); // drops every lock of this open file
    m_fd = -1;
    m_held.clear();
    dropReadAhead();
    m_window = {};
    m_lastEnd = ~0ull;
}

// Asked as the end offset: the kernel answers that in a third of the time of an fstat, which
// fills in a whole status, and appends ask for the size three or four times each. The offset
// moved to the end is never used: these descriptors read and write at explicit offsets only.
std::uint64_t TPagedFile::fileSize() const
{
    if (m_fd < 0)
        return 0;
    const off_t end = ::lseek(m_fd, 0, SEEK_END);
    return end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

std::uint32_t TPagedFile::unitCount() const
{
    return m_unitCountKnown ? m_unitCount : freshUnitCount();
}

std::uint32_t TPagedFile::freshUnitCount() const
{
    const std::uint64_t size = fileSize();
    std::uint64_t n = 0;
    if (size > m_headerSize && m_unitSize != 0)
        n = (size - m_headerSize) / m_unitSize;
    m_unitCount = n > 0xFFFFFFF0ull ? 0xFFFFFFF0u : static_cast<std::uint32_t>(n);
    m_unitCountKnown = m_fd >= 0;
    return m_unitCount;
}

void TPagedFile::dropReadAhead() const
{
    m_windowLen = 0;
    m_unitCountKnown = false;
}

std::size_t TPagedFile::readAhead(std::uint64_t off, void *buffer, std::size_t len) const
{
    // Forward of the previous read and not far past it; reading a spot again goes to the file.
    const bool sequential = m_lastEnd != ~0ull && off > m_lastStart &&
                            off <= m_lastEnd + kSequentialGap;
    m_lastStart = off;
    m_lastEnd = off + len;
    if (m_windowLen > 0 && sequential && off >= m_windowOff &&
        off + len <= m_windowOff + m_windowLen) {
        std::memcpy(buffer, m_window.data() + (off - m_windowOff), len);
        return len;
    }
    if (!sequential || len > kWindowSize / 2)
        return readAt(off, buffer, len);
    m_window.resize(kWindowSize);
    m_windowLen = 0;
    m_unitCountKnown = false; // whoever walks on sees records appended meanwhile
    m_windowLen = readAt(off, m_window.data(), kWindowSize);
    m_windowOff = off;
    const std::size_t got = std::min(len, m_windowLen);
    std::memcpy(buffer, m_window.data(), got);
    return got;
}

std::uint64_t TPagedFile::unitOffset(std::uint32_t n) const
{
    return n == 0 ? 0 : m_headerSize + static_cast<std::uint64_t>(n - 1) * m_unitSize;
}

bool TPagedFile::readHeader()
{
    m_header.assign(m_headerSize, 0);
    return readAt(0, m_header.data(), m_headerSize) == m_headerSize;
}

void TPagedFile::writeHeader()
{
    if (m_access == TDbfAccess::Exclusive) {
        m_headerPending = true;
        return;
    }
    writeAt(0, m_header.data(), m_header.size());
}

void TPagedFile::writeHeaderBytes(std::size_t off, std::size_t len)
{
    if (m_access == TDbfAccess::Exclusive) {
        m_headerPending = true;
        return;
    }
    writeAt(off, m_header.data() + off, len);
}

void TPagedFile::flushHeader()
{
    if (!m_headerPending)
        return;
    m_headerPending = false;
    writeAt(0, m_header.data(), m_header.size());
}

std::size_t TPagedFile::readAt(std::uint64_t off, void *buffer, std::size_t len) const
{
    auto *out = static_cast<char *>(buffer);
    std::size_t done = 0;
    while (done < len) {
        const ssize_t n = ::pread(m_fd, out + done, len - done, static_cast<off_t>(off + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void TPagedFile::writeAt(std::uint64_t off, const void *buffer, std::size_t len)
{
    if (!writable())
        throw EDbfError("Cannot write to read-only file \"" + m_path + "\".");
    dropReadAhead();
    const auto *in = static_cast<const char *>(buffer);
    std::size_t done = 0;
    while (done < len) {
        const ssize_t n = ::pwrite(m_fd, in + done, len - done, static_cast<off_t>(off + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EDbfError("Cannot write to file \"" + m_path + "\": " + std::strerror(errno) +
                            ".");
        done += static_cast<std::size_t>(n);
    }
}

void TPagedFile::cutAt(std::uint64_t size)
{
    if (!writable())
        throw EDbfError("Cannot write to read-only file \"" + m_path + "\".");
    dropReadAhead();
    int result;
    do
        result = ::ftruncate(m_fd, static_cast<off_t>(size));
    while (result != 0 && errno == EINTR);
    if (result != 0)
        throw EDbfError("Cannot write to file \"" + m_path + "\": " + std::strerror(errno) + ".");
}

bool TPagedFile::readUnit(std::uint32_t n, std::uint8_t *buffer) const
{
    return readAhead(unitOffset(n), buffer, m_unitSize) == m_unitSize;
}

void TPagedFile::writeUnit(std::uint32_t n, const std::uint8_t *buffer)
{
    writeAt(unitOffset(n), buffer, m_unitSize);
}

void TPagedFile::unitRange(std::uint32_t first, std::uint32_t count, std::uint64_t &off,
                           std::uint64_t &len) const
{
    if (m_lockStyle == LockStyle::Virtual) {
        off = kLockBase - (static_cast<std::uint64_t>(first) + count - 1);
        len = count;
    } else {
        off = unitOffset(first);
        len = first == 0 ? m_headerSize + static_cast<std::uint64_t>(count - 1) * m_unitSize
                         : static_cast<std::uint64_t>(count) * m_unitSize;
    }
}

bool TPagedFile::lockUnit(std::uint32_t n, bool wait)
{
    if (!shared())
        return true;
    std::uint64_t off, len;
    unitRange(n, 1, off, len);
    return lockRange(off, len, wait);
}

void TPagedFile::unlockUnit(std::uint32_t n)
{
    unlockUnits(n, 1);
}

bool TPagedFile::lockUnits(std::uint32_t first, std::uint32_t count)
{
    if (!shared() || count == 0)
        return true;
    std::uint64_t off, len;
    unitRange(first, count, off, len);
    return lockRange(off, len, false);
}

void TPagedFile::unlockUnits(std::uint32_t first, std::uint32_t count)
{
    if (!shared() || count == 0)
        return;
    std::uint64_t off, len;
    unitRange(first, count, off, len);
    unlockRange(off, len);
}

bool TPagedFile::lockRange(std::uint64_t off, std::uint64_t len, bool wait)
{
    dropReadAhead();
    for (;;) {
        const int err = setLock(m_fd, F_WRLCK, off, len);
        if (err == 0) {
            noteLocked(off, off + len);
            return true;
        }
        if (!wait || !heldByOther(err))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void TPagedFile::unlockRange(std::uint64_t off, std::uint64_t len)
{
    setLock(m_fd, F_UNLCK, off, len);
    noteUnlocked(off, off + len);
}

// A lock call costs about what a write does, and every append ends by letting go of its slot and
// of the header at once.
void TPagedFile::unlockUnitAndHeader(std::uint32_t n)
{
    if (!shared())
        return;
    std::uint64_t headerOff, headerLen, unitOff, unitLen;
    unitRange(0, 1, headerOff, headerLen);
    unitRange(n, 1, unitOff, unitLen);
    const std::uint64_t start = std::min(headerOff, unitOff);
    const std::uint64_t end = std::max(headerOff + headerLen, unitOff + unitLen);
    const std::uint64_t gapStart = std::min(headerOff + headerLen, unitOff + unitLen);
    const std::uint64_t gapEnd = std::max(headerOff, unitOff);
    if (gapStart >= gapEnd || !holdsAny(gapStart, gapEnd)) {
        unlockRange(start, end - start);
        return;
    }
    unlockRange(headerOff, headerLen);
    unlockRange(unitOff, unitLen);
}

void TPagedFile::noteLocked(std::uint64_t start, std::uint64_t end)
{
    auto first = std::lower_bound(m_held.begin(), m_held.end(), start,
                                  [](const HeldRange &r, std::uint64_t at) { return r.end < at; });
    auto last = first;
    for (; last != m_held.end() && last->start <= end; ++last) {
        start = std::min(start, last->start);
        end = std::max(end, last->end);
    }
    first = m_held.erase(first, last);
    m_held.insert(first, HeldRange{start, end});
}

void TPagedFile::noteUnlocked(std::uint64_t start, std::uint64_t end)
{
    auto at = std::lower_bound(m_held.begin(), m_held.end(), start,
                               [](const HeldRange &r, std::uint64_t from) { return r.end <= from; });
    while (at != m_held.end() && at->start < end) {
        if (at->start < start && at->end > end) {
            const HeldRange right{end, at->end};
            at->end = start;
            m_held.insert(at + 1, right);
            return;
        }
        if (at->start < start) {
            at->end = start;
            ++at;
        } else if (at->end > end) {
            at->start = end;
            return;
        } else {
            at = m_held.erase(at);
        }
    }
}

bool TPagedFile::holdsAny(std::uint64_t start, std::uint64_t end) const
{
    const auto at = std::lower_bound(m_held.begin(), m_held.end(), start,
                                     [](const HeldRange &r, std::uint64_t from) { return r.end <= from; });
    return at != m_held.end() && at->start < end;
}
