#include "dbtfile.h"

#include "dbfbytes.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace dbfbytes;

namespace {

constexpr std::uint8_t kLengthMark[4] = {0xFF, 0xFF, 0x08, 0x00};
constexpr std::uint8_t kTerminator = 0x1A;
// What a memo read fetches first: most memos fit.
constexpr std::size_t kFirstRead = 4096;

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b)
{
    return (a + b - 1) / b;
}

} // namespace

void TDbtFile::open(const std::string &path, TDbfAccess access, bool terminatorStyle)
{
    openFile(path, access);
    m_terminatorStyle = terminatorStyle;
    setLockStyle(LockStyle::RealBytes);
    std::uint8_t first[22] = {};
    readAt(0, first, sizeof first);
    std::uint32_t size = kDefaultBlockSize;
    bool repair = false;
    if (!terminatorStyle) {
        size = readLE16(first + 20);
        if (size == 0 || size % 128 != 0) {
            size = kDefaultBlockSize;
            repair = true;
        }
    }
    setHeaderSize(size);
    setUnitSize(size);
    readHeader(); // byte 16 (the version) stays as the file has it: other programs read it
    if (repair && writable()) {
        writeLE16(header().data() + 20, static_cast<std::uint16_t>(size));
        writeHeader();
    }
}

std::uint32_t TDbtFile::nextFreeBlock() const
{
    return readLE32(header().data());
}

std::string TDbtFile::read(std::uint32_t block, bool *whole) const
{
    std::string text;
    read(block, text, whole);
    return text;
}

// The usual memo comes whole with its first read; only a longer one costs a size check and a
// second read.
void TDbtFile::read(std::uint32_t block, std::string &text, bool *whole) const
{
    const auto done = [whole](bool complete) {
        if (whole)
            *whole = complete;
    };
    text.clear();
    if (block == 0)
        return done(true);
    const std::uint64_t start = static_cast<std::uint64_t>(block) * blockSize();
    text.resize(kFirstRead);
    text.resize(readAhead(start, text.data(), text.size()));
    if (text.size() >= 8 && std::memcmp(text.data(), kLengthMark, 4) == 0) {
        const std::uint32_t stored = readLE32(reinterpret_cast<const std::uint8_t *>(text.data()) + 4);
        const std::uint64_t stated = stored < 8 ? 0 : stored - 8;
        const std::uint64_t length = std::min<std::uint64_t>(stated, kMaxMemoBytes);
        if (length <= text.size() - 8) {
            std::memmove(text.data(), text.data() + 8, static_cast<std::size_t>(length));
            text.resize(static_cast<std::size_t>(length));
            return done(length == stated);
        }
        const std::uint64_t size = fileSize();
        const std::uint64_t available = size > start + 8 ? size - start - 8 : 0;
        text.erase(0, 8);
        const std::size_t have = text.size();
        text.resize(static_cast<std::size_t>(std::max<std::uint64_t>(have, std::min(length, available))));
        text.resize(have + readAt(start + 8 + have, text.data() + have, text.size() - have));
        return done(text.size() == stated);
    }
    // Terminator style: up to the pair 0x1A 0x1A, which may straddle two reads.
    std::size_t from = 0;
    for (std::uint64_t next = start + text.size();;) {
        for (std::size_t i = from; i + 1 < text.size(); ++i) {
            if (text[i] == kTerminator && text[i + 1] == kTerminator) {
                text.resize(i);
                return done(true);
            }
        }
        from = text.empty() ? 0 : text.size() - 1;
        if (text.size() % kFirstRead != 0 || text.empty() || text.size() >= kMaxMemoBytes) {
            text.resize(std::min(text.size(), kMaxMemoBytes));
            return done(false); // the file, or the longest memo we write, ended first
        }
        const std::size_t had = text.size();
        text.resize(had + kFirstRead);
        text.resize(had + readAhead(next, text.data() + had, kFirstRead));
        if (text.size() == had)
            return done(false);
        next += kFirstRead;
    }
}

std::uint32_t TDbtFile::allocate(std::uint32_t blocks)
{
    if (m_inBatch) {
        // Locked since beginBatch checked the header against the file: nobody else appended.
        const std::uint32_t start = nextFreeBlock();
        writeLE32(header().data(), start + blocks);
        m_batchAppended = true;
        return start;
    }
    // The file's end decides where a memo goes: a header that lags behind it would make us write
    // over memos that are there, one that runs ahead of it (blanks, say) would place the memo
    // gigabytes into the file.
    const std::uint64_t used = std::max<std::uint64_t>(1, ceilDiv(fileSize(), blockSize()));
    if (used + blocks > 0xFFFFFFF0ull)
        throw EDbfError("Memo file \"" + path() + "\" is full.");
    const auto start = static_cast<std::uint32_t>(used);
    writeLE32(header().data(), start + blocks);
    return start;
}

std::uint32_t TDbtFile::write(const std::string &bytes)
{
    if (bytes.empty())
        return 0;
    const std::size_t prefix = m_terminatorStyle ? 0 : 8;
    const std::size_t suffix = m_terminatorStyle ? 2 : 0;
    const std::uint64_t B = blockSize();
    const std::uint64_t blocks = ceilDiv(prefix + bytes.size() + suffix, B);
    if (bytes.size() > kMaxMemoBytes)
        throw EDbfError("Memo too large for file \"" + path() + "\".");
    std::vector<std::uint8_t> run(static_cast<std::size_t>(blocks * B), ' ');
    if (!m_terminatorStyle) {
        std::memcpy(run.data(), kLengthMark, 4);
        writeLE32(run.data() + 4, static_cast<std::uint32_t>(8 + bytes.size()));
    }
    std::memcpy(run.data() + prefix, bytes.data(), bytes.size());
    if (m_terminatorStyle) {
        run[bytes.size()] = kTerminator;
        run[bytes.size() + 1] = kTerminator;
    }
    if (m_inBatch) {
        const std::uint32_t start = allocate(static_cast<std::uint32_t>(blocks));
        writeAt(static_cast<std::uint64_t>(start) * B, run.data(), run.size());
        return start;
    }
    if (!lockUnit(0, true))
        throw EDbfError("Cannot lock memo file \"" + path() + "\".");
    struct Unlock
    {
        TDbtFile *file;
        ~Unlock() { file->unlockUnit(0); }
    } unlock{this};
    const std::uint32_t start = allocate(static_cast<std::uint32_t>(blocks));
    writeAt(static_cast<std::uint64_t>(start) * B, run.data(), run.size());
    // Only the next free block: the rest of the header stays as the file has it, so it needs no
    // reading first.
    writeHeaderBytes(0, 4);
    return start;
}

void TDbtFile::beginBatch()
{
    if (m_inBatch || !writable())
        return;
    if (!lockUnit(0, true))
        throw EDbfError("Cannot lock memo file \"" + path() + "\".");
    // The batch writes the whole header at its end: as it is now, moved past memos it does not
    // count.
    if (shared())
        readHeader();
    allocate(0);
    m_inBatch = true;
    m_batchAppended = false;
}

void TDbtFile::endBatch()
{
    if (!m_inBatch)
        return;
    m_inBatch = false;
    struct Unlock
    {
        TDbtFile *file;
        ~Unlock() { file->unlockUnit(0); }
    } unlock{this};
    if (m_batchAppended)
        writeHeader();
}
