#include "dbffile.h"

#include "compaction.h"
#include "dbfbytes.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <optional>
#include <thread>
#include <unistd.h>

using namespace dbfbytes;

namespace {

constexpr std::size_t kShortHeader = 32;
constexpr std::size_t kLongHeader = 68;

// A field descriptor: OFFSET SIZE name (NUL-padded), then the type letter, width and decimals.
struct DescriptorLayout
{
    std::size_t size;
    std::size_t nameSize;
    std::size_t letterAt;
    std::size_t widthAt;
    std::size_t decimalsAt;
};
constexpr DescriptorLayout kShortDescriptor{32, 11, 11, 16, 17}; // after a 32-byte header
constexpr DescriptorLayout kLongDescriptor{48, 32, 32, 33, 34};  // after a 68-byte header
constexpr int kMaxFields = 4095;
constexpr std::uint32_t kMaxLockProbe = 1u << 20;
// Slots a batch locks at a time.
constexpr std::uint32_t kReservedRun = 256;
// The last slots looked at for posts killed before their flag went in: appends only go there.
constexpr std::uint32_t kSettledSlots = 32;
// How long an open waits for a compaction of the table by another process to end.
constexpr auto kClaimPatience = std::chrono::seconds(5);

[[noreturn]] void invalidFile(const std::string &path)
{
    throw EDbfError("Invalid DBF file \"" + path + "\".");
}

bool fileExists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string withExtension(const std::string &path, const std::string &ext)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + ext;
    return path.substr(0, dot) + ext;
}

bool isMemoLetter(char c)
{
    return c == 'M' || c == 'B' || c == 'G';
}

} // namespace

// The date of last update: year - 1900, month, day. Every post stamps it, and the conversion to
// local time costs more than the rest of the stamp: it is done once a second.
void setToday(std::uint8_t *header)
{
    thread_local std::time_t converted = -1;
    thread_local std::uint8_t today[3] = {};
    const std::time_t now = std::time(nullptr);
    if (now != converted) {
        std::tm local{};
        localtime_r(&now, &local);
        today[0] = static_cast<std::uint8_t>(local.tm_year % 256);
        today[1] = static_cast<std::uint8_t>(local.tm_mon + 1);
        today[2] = static_cast<std::uint8_t>(local.tm_mday);
        converted = now;
    }
    std::memcpy(header + TDbfFile::kUpdateDateAt, today, sizeof today);
}

// The memo style is a matter of the version byte: 0x8B announces length-prefixed memos whatever
// the language driver says, and other programs write 0x8B tables with a language driver of 0.
bool terminatorMemos(std::uint8_t version, std::uint8_t languageDriver)
{
    return (version & 7) == 3 && (version & 0x08) == 0 && languageDriver == 0;
}

std::string memoPathOf(const std::string &tablePath)
{
    return withExtension(tablePath, ".dbt");
}

std::string indexPathOf(const std::string &tablePath)
{
    return withExtension(tablePath, ".mdx");
}

TDbfFile::TDbfFile() = default;

TDbfFile::~TDbfFile()
{
    close();
}

bool TDbfFile::open(const std::string &path, TDbfAccess access, bool claimInUse)
{
    close();
    if (claimInUse)
        claim(path, access);
    else
        openFile(path, access);
    try {
        std::uint8_t first[kShortHeader] = {};
        if (readAt(0, first, sizeof first) != sizeof first)
            invalidFile(path);
        const std::uint16_t headerLength = readLE16(first + kHeaderLengthAt);
        const std::uint16_t recordLength = readLE16(first + kRecordLengthAt);
        setHeaderSize(sizeof first);
        header().assign(first, first + sizeof first);
        classify();
        if (headerLength == 0 || recordLength == 0) {
            closeFile();
            return false;
        }
        const std::size_t prefix = m_level <= TTableLevel::dBaseIV ? kShortHeader : kLongHeader;
        if (headerLength < prefix)
            invalidFile(path);
        setHeaderSize(headerLength);
        setUnitSize(recordLength);
        if (!readHeader())
            invalidFile(path);
        readDescriptors();
        chooseCodePage();
        openMemo(access);
        if (header()[kIndexFlagAt] != 0 && !fileExists(indexPathOf(path)))
            header()[kIndexFlagAt] = 0;
        m_version = header()[kVersionAt];
        m_indexFlag = header()[kIndexFlagAt];
        correctRecordCount();
        settleUnflaggedSlots();
        m_knownEnd = recordCount();
    } catch (...) {
        m_memo.reset();
        closeFile();
        throw;
    }
    return true;
}

// Opens the file at the path and holds its in-use lock shared. The lock is taken before the path
// is checked again, so a compaction that put new files in place meanwhile is noticed and the new
// file opened instead. A compaction killed half-way is settled by whoever gets the lock
// exclusively first; the others wait for it.
void TDbfFile::claim(const std::string &path, TDbfAccess access)
{
    const auto deadline = std::chrono::steady_clock::now() + kClaimPatience;
    for (;;) {
        openFile(path, access);
        if (lockInUse(false) && stillAtPath()) {
            if (!compactionLeftovers(path))
                return;
            closeFile();
            TPagedFile settler;
            settler.openFile(path, TDbfAccess::Shared);
            if (settler.lockInUse(true) && settler.stillAtPath()) {
                settleCompaction(path);
                continue;
            }
        }
        closeFile();
        if (std::chrono::steady_clock::now() > deadline)
            throw EFileOpenError(path);
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + ::getpid() % 10));
    }
}

void TDbfFile::classify()
{
    const std::uint8_t version = header()[kVersionAt];
    if ((version & 7) == 3)
        m_level = header()[kLanguageDriverAt] == 0 ? TTableLevel::dBaseIII : TTableLevel::dBaseIV;
    else if ((version & 7) == 4)
        m_level = TTableLevel::dBaseVII;
    else if (version == 0xF5)
        m_level = TTableLevel::FoxPro;
    else if (version == 0x30)
        m_level = TTableLevel::VisualFoxPro;
    else
        invalidFile(path());
}

void TDbfFile::readDescriptors()
{
    m_fields.clear();
    const bool shortLayout = m_level <= TTableLevel::dBaseIV;
    const std::size_t prefix = shortLayout ? kShortHeader : kLongHeader;
    const DescriptorLayout &layout = shortLayout ? kShortDescriptor : kLongDescriptor;
    const std::size_t size = layout.size;
    const std::vector<std::uint8_t> &h = header();
    std::size_t count = 0;
    int offset = 1;
    for (std::size_t at = prefix; at + size <= h.size() && h[at] != kDescriptorEnd; at += size) {
        if (++count > kMaxFields)
            break;
        const std::uint8_t *d = h.data() + at;
        TDbfFieldDef def;
        def.name.assign(reinterpret_cast<const char *>(d),
                        strnlen(reinterpret_cast<const char *>(d), layout.nameSize));
        def.letter = static_cast<char>(std::toupper(d[layout.letterAt]));
        def.width = d[layout.widthAt];
        def.decimals = d[layout.decimalsAt];
        def.offset = offset;
        offset += def.width;
        addField(std::move(def));
        if (at + size < h.size() && h[at + size] == kDescriptorEnd)
            break;
    }
    if (count < 1 || count > kMaxFields)
        throw EDbfError("Invalid field count: " + std::to_string(count) +
                        " (must be between 1 and 4095) in \"" + path() + "\".");
    if (static_cast<std::uint32_t>(offset) > recordLength())
        invalidFile(path()); // the fields would run past the end of the record
}

void TDbfFile::addField(TDbfFieldDef def)
{
    if (def.name.size() > 10)
        def.name.resize(10);
    for (char &c : def.name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (def.name.empty())
        invalidFile(path());
    switch (def.letter) {
    case 'C': def.type = TFieldType::ftString; break;
    case 'M': def.type = TFieldType::ftMemo; break;
    case 'B':
    case 'G': def.type = TFieldType::ftBlob; break;
    case 'N':
    case 'F':
        def.type = def.decimals == 0 && def.width <= 4 ? TFieldType::ftSmallint
                                                       : TFieldType::ftFloat;
        break;
    case 'L': def.type = TFieldType::ftBoolean; break;
    case 'D': def.type = TFieldType::ftDate; break;
    case 'I': def.type = TFieldType::ftInteger; break;
    case '+': def.type = TFieldType::ftAutoInc; break;
    case '@': def.type = TFieldType::ftDateTime; break;
    case 'O': def.type = TFieldType::ftDouble; break;
    default: invalidFile(path());
    }
    auto taken = [this](const std::string &n) {
        return std::any_of(m_fields.begin(), m_fields.end(),
                           [&](const TDbfFieldDef &f) { return f.name == n; });
    };
    if (taken(def.name)) {
        const std::string base = def.name;
        for (int k = 2; taken(def.name); ++k)
            def.name = base + std::to_string(k);
    }
    m_fields.push_back(std::move(def));
}

void TDbfFile::chooseCodePage()
{
    int cp = 0;
    if (m_level <= TTableLevel::dBaseIV)
        cp = codepage::ofLanguageDriver(header()[kLanguageDriverAt]);
    else
        cp = codepage::ofLanguageDriverName(header().data() + kLanguageDriverNameAt, kLanguageDriverNameSize);
    if (cp == 0)
        cp = codepage::systemOem();
    m_codePage = std::make_unique<TCodePage>(cp);
    m_ansiCodePage = std::make_unique<TCodePage>(codepage::systemAnsi());
    m_memoTranslation = std::make_unique<TMemoTranslation>(*m_codePage, *m_ansiCodePage);
}

void TDbfFile::openMemo(TDbfAccess access)
{
    const bool hasMemo = std::any_of(m_fields.begin(), m_fields.end(),
                                     [](const TDbfFieldDef &f) { return isMemoLetter(f.letter); });
    // Bit 7 flags the memo file on dBase levels only: FoxPro version bytes use it otherwise.
    if (m_level <= TTableLevel::dBaseVII) {
        if (hasMemo)
            header()[kVersionAt] |= kMemoFlag;
        else
            header()[kVersionAt] &= static_cast<std::uint8_t>(~kMemoFlag);
    }
    if (!hasMemo)
        return;
    m_memo = std::make_unique<TDbtFile>();
    m_memo->open(memoPathOf(path()), access, terminatorMemos(header()[kVersionAt], header()[kLanguageDriverAt]));
}

void TDbfFile::refreshHeader()
{
    if (!shared())
        return;
    if (!readHeader())
        invalidFile(path());
    header()[kVersionAt] = m_version;
    header()[kIndexFlagAt] = m_indexFlag;
}

void TDbfFile::correctRecordCount()
{
    if (readLE32(header().data() + kRecordCountAt) == recordCount())
        return;
    if (!writable()) {
        writeLE32(header().data() + kRecordCountAt, recordCount());
        return;
    }
    HeaderLock lock(*this);
    refreshHeader();
    if (readLE32(header().data() + kRecordCountAt) != recordCount()) {
        writeLE32(header().data() + kRecordCountAt, recordCount());
        stampHeader();
    }
}

// A whole slot whose flag is neither live nor deleted is a post killed before its flag went in
// (the flag is written last). Left so, readers disagree about it: this engine took it for a
// record, some programs show it, others stop reading the table there. It becomes a deleted
// record, which every reader skips and which can be brought back. A slot another appender holds
// locked is still being written and is left alone; a read-only open changes nothing.
void TDbfFile::settleUnflaggedSlots()
{
    const std::uint32_t last = freshUnitCount();
    if (!writable() || last == 0)
        return;
    const std::uint32_t first = last > kSettledSlots ? last - kSettledSlots + 1 : 1;
    const std::size_t length = recordLength();
    const auto unflagged = [](std::uint8_t flag) { return flag != kLive && flag != kDeleted; };
    std::vector<std::uint8_t> tail(std::size_t(last - first + 1) * length);
    tail.resize(readAt(unitOffset(first), tail.data(), tail.size()) / length * length);
    bool any = false;
    for (std::size_t at = 0; at < tail.size(); at += length)
        any = any || unflagged(tail[at]);
    if (!any)
        return;
    HeaderLock lock(*this);
    const std::uint32_t end = first + static_cast<std::uint32_t>(tail.size() / length);
    for (std::uint32_t n = first; n < end; ++n) {
        if (!unflagged(tail[std::size_t(n - first) * length]) || !lockRecord(n, false))
            continue;
        std::uint8_t flag = kLive;
        try {
            const std::uint8_t deleted = kDeleted;
            if (readAt(unitOffset(n), &flag, 1) == 1 && unflagged(flag))
                writeAt(unitOffset(n), &deleted, 1);
        } catch (const std::exception &) {
            // The slot stays as it was; the table opens all the same.
        }
        unlockRecord(n);
    }
    dropReadAhead();
}

std::uint32_t TDbfFile::headerRecordCount() const
{
    return readLE32(header().data() + kRecordCountAt);
}

void TDbfFile::close()
{
    if (!isOpen())
        return;
    try {
        m_batchDepth = m_batchDepth > 0 ? 1 : 0;
        endBatch();
    } catch (const std::exception &) {
    }
    try {
        if (writable()) {
            HeaderLock lock(*this);
            refreshHeader();
            stampHeader();
        }
    } catch (const std::exception &) {
        // The table is closed all the same; its records were written when they were posted.
    }
    if (m_memo)
        m_memo->close();
    m_memo.reset();
    m_indexes.clear();
    closeFile();
    m_knownEnd = 0;
    m_reservedFrom = m_reservedEnd = 0;
}

void TDbfFile::writeDatedHeader()
{
    setToday(header().data());
    writeHeader();
}

void TDbfFile::stampHeader()
{
    writeDatedHeader();
    writeEndMark();
}

// The end-of-file byte goes only where the file ends. After the last record may come a piece of
// a slot: one whose flag was never written is an append cut short (a killed process, a full disk)
// and goes, as nobody can read it; one with a record's flag is a truncated record, data the engine
// did not write, and stays as it is. A slot past the end that someone else has locked is an
// append in progress, whose record would land on our byte after the size was read.
void TDbfFile::writeEndMark()
{
    const std::uint32_t slot = recordCount() + 1;
    const std::uint64_t at = unitOffset(slot);
    const std::uint64_t size = fileSize();
    if (size < at || size >= at + recordLength() || !lockRecord(slot, false))
        return;
    struct Unlock
    {
        TDbfFile &file;
        std::uint32_t slot;
        ~Unlock() { file.unlockRecord(slot); }
    } unlock{*this, slot};
    if (fileSize() != size)
        return;
    if (size > at) {
        std::uint8_t flag = kLive;
        if (readAt(at, &flag, 1) != 1 || flag == kLive || flag == kDeleted)
            return;
        cutAt(at);
    }
    const std::uint8_t eof = kEndOfFile;
    writeAt(at, &eof, 1);
}

// Nested holders share the outer lock: unlocking an inner one would drop it.
TDbfFile::HeaderLock::HeaderLock(TDbfFile &file) : m_file(file)
{
    if (m_file.m_headerLocks == 0 && !m_file.lockUnit(0, true))
        throw EDbfError("Cannot lock the header of \"" + m_file.path() + "\".");
    ++m_file.m_headerLocks;
}

TDbfFile::HeaderLock::~HeaderLock()
{
    if (m_held && --m_file.m_headerLocks == 0)
        m_file.unlockUnit(0);
}

bool TDbfFile::HeaderLock::releaseWithRecord(std::uint32_t n)
{
    if (!m_held || m_file.m_headerLocks != 1)
        return false;
    m_held = false;
    m_file.m_headerLocks = 0;
    m_file.unlockUnitAndHeader(n);
    return true;
}

void TDbfFile::beginBatch()
{
    if (m_batchDepth++ > 0)
        return;
    try {
        m_batchLock = std::make_unique<HeaderLock>(*this);
        refreshHeader();
        if (m_memo)
            m_memo->beginBatch();
    } catch (...) {
        m_batchLock.reset();
        m_batchDepth = 0;
        throw;
    }
}

void TDbfFile::endBatch()
{
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return;
    struct Release
    {
        TDbfFile &file;
        ~Release()
        {
            file.releaseReservedSlots();
            file.m_batchLock.reset();
        }
    } release{*this};
    std::exception_ptr failure;
    if (m_memo) {
        try {
            m_memo->endBatch();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (m_countPending) {
        m_countPending = false;
        writeDatedHeader();
    }
    if (failure)
        std::rethrow_exception(failure);
}

// A slot this process saw in the file is there for good (tables never shrink): no size check.
bool TDbfFile::readRecord(std::uint32_t n, std::uint8_t *buffer) const
{
    if (n < 1 || (n > m_knownEnd && n > recordCount() && n > freshUnitCount()))
        return false;
    return readUnit(n, buffer);
}

void TDbfFile::writeRecord(std::uint32_t n, const std::uint8_t *buffer)
{
    writeUnit(n, buffer);
}

// The deletion flag goes in last: a write cut short (a full disk, a killed process) leaves the
// slot starting with what was there before, the end-of-file byte or nothing, so no reader takes
// the fragment for a record and the next append reuses the slot.
void TDbfFile::writeNewRecord(std::uint32_t n, const std::uint8_t *buffer)
{
    writeAt(unitOffset(n) + 1, buffer + 1, recordLength() - 1);
    writeAt(unitOffset(n), buffer, 1);
}

bool TDbfFile::indexesAccept(std::uint32_t n, const std::uint8_t *buffer)
{
    for (std::size_t i = 0; i < m_indexes.size(); ++i) {
        bool accepted = false;
        try {
            accepted = m_indexes[i]->insertKey(n, buffer);
        } catch (...) {
            forgetKeys(n, buffer, i);
            throw;
        }
        if (!accepted) {
            forgetKeys(n, buffer, i);
            return false;
        }
    }
    return true;
}

// Takes the key of record n out of the first `count` indexes again, as far as they let us: the
// record is not written, and a key left behind only leads to a slot the walk skips.
void TDbfFile::forgetKeys(std::uint32_t n, const std::uint8_t *buffer, std::size_t count) noexcept
{
    for (std::size_t i = 0; i < count; ++i) {
        try {
            m_indexes[i]->deleteKey(n, buffer);
        } catch (const std::exception &) {
        }
    }
}

// Finds and locks the slot of a new record: the one after the last slot this process saw the
// file end at, when the file still ends there (one read tells), else the first slot after the
// records that can be locked and that nobody has filled meanwhile. Our own appenders choose under
// the header lock, so two of them never take the same slot and a stamp never writes into one that
// is about to be filled; other programs may still hold a slot, or fill one and let it go, hence
// the probing.
std::uint32_t TDbfFile::lockNewSlot()
{
    HeaderLock lock(*this);
    const std::uint32_t next = m_knownEnd + 1;
    m_slotAtEnd = true;
    if (reserved(next))
        return next;
    // Looked at before it is locked: when others have appended since, `next` is a record someone
    // may be about to edit, and even a moment's lock on it would refuse them.
    if (slotEndsFile(next)) {
        if (m_batchDepth > 0 && reserveSlots(next))
            return next;
        if (lockRecord(next, false)) {
            if (slotEndsFile(next))
                return next;
            unlockRecord(next);
        }
    }
    m_slotAtEnd = false;
    const std::uint32_t firstTry = freshUnitCount() + 1;
    for (std::uint32_t n = firstTry; n - firstTry <= kMaxLockProbe; ++n) {
        if (!lockRecord(n, false))
            continue;
        std::uint8_t flag = 0;
        const bool whole = n <= freshUnitCount(); // counted under the header lock
        if (whole && readAt(unitOffset(n), &flag, 1) == 1 && (flag == kLive || flag == kDeleted)) {
            unlockRecord(n);
            continue;
        }
        return n;
    }
    throw EDbfError("Cannot lock a new record in \"" + path() + "\".");
}

// Slot n (locked) is free and ends the file: nothing there, the end-of-file byte, a piece of a
// record, or a whole slot without a record's flag, with nothing after it. Only this process
// writes an exclusive table, so there the slot after the last one it saw is always the end. The
// size is asked rather than the slot read: a size query costs the least of all file calls.
bool TDbfFile::slotEndsFile(std::uint32_t n)
{
    if (!shared())
        return true;
    const std::uint64_t at = unitOffset(n);
    const std::uint64_t size = fileSize();
    if (size < at || size > at + recordLength())
        return false;
    std::uint8_t flag = 0;
    return size < at + recordLength() || (readAt(at, &flag, 1) == 1 && flag != kLive && flag != kDeleted);
}

// In a batch: locks a run of slots from `first` in one call and checks once that the file ends
// in `first`, so the appends of the run need no lock or read of their own. The run stays locked
// until endBatch: nobody else can fill it, and its records are ours to edit meanwhile.
bool TDbfFile::reserveSlots(std::uint32_t first)
{
    if (first > 0xFFFFFFF0u - kReservedRun || !lockUnits(first, kReservedRun))
        return false;
    if (!slotEndsFile(first)) {
        unlockUnits(first, kReservedRun);
        return false;
    }
    if (m_reservedEnd != 0 && m_reservedEnd != first)
        releaseReservedSlots();
    if (m_reservedEnd == 0)
        m_reservedFrom = first;
    m_reservedEnd = first + kReservedRun;
    return true;
}

void TDbfFile::releaseReservedSlots() noexcept
{
    if (m_reservedEnd != 0 && isOpen())
        unlockUnits(m_reservedFrom, m_reservedEnd - m_reservedFrom);
    m_reservedFrom = m_reservedEnd = 0;
}

// Date and count only: the rest of the header is what this process wrote or found at open.
void TDbfFile::writeCount(std::uint32_t count)
{
    setToday(header().data());
    writeLE32(header().data() + kRecordCountAt, count);
    writeHeaderBytes(kChangeStampAt, kChangeStampSize);
}

// The record goes in before the count, so that a process killed between the two leaves a count
// behind the records (corrected at the next open), never one ahead of them. The count is what the
// file holds once ours is in: at least our slot, never past the end of the file. A slot below ours
// that another appender still holds is counted with it; its own update finds the count in place.
// Without indexes the header lock stays from the choice of the slot to the count: the record is
// two writes, and no appender of ours comes in between, so a slot that ended the file is the
// count. An index's update may wait for other processes; others must not wait for it.
std::uint32_t TDbfFile::appendRecord(const std::uint8_t *buffer)
{
    std::optional<HeaderLock> throughout;
    if (m_indexes.empty())
        throughout.emplace(*this);
    const std::uint32_t n = lockNewSlot();
    const bool atEnd = m_slotAtEnd;
    struct RecordLock
    {
        TDbfFile &file;
        std::uint32_t n;
        bool held;
        ~RecordLock()
        {
            if (held)
                file.unlockRecord(n);
        }
    } recordLock{*this, n, !reserved(n)};
    if (!indexesAccept(n, buffer))
        return 0;
    try {
        writeNewRecord(n, buffer);
    } catch (...) {
        forgetKeys(n, buffer, m_indexes.size());
        throw;
    }
    m_knownEnd = std::max(m_knownEnd, atEnd ? n : freshUnitCount());
    if (m_batchDepth > 0) {
        // Nobody else appends during the batch: the file ends with the slots we filled.
        writeLE32(header().data() + kRecordCountAt, m_knownEnd);
        m_countPending = true;
        return n;
    }
    std::optional<HeaderLock> counting;
    HeaderLock &lock = throughout ? *throughout : counting.emplace(*this);
    const std::uint32_t count = throughout && atEnd ? n : std::max(n, freshUnitCount());
    m_knownEnd = std::max(m_knownEnd, count);
    // Without the end-of-file byte until the next stamp: the next append would overwrite it.
    writeCount(count);
    if (recordLock.held && lock.releaseWithRecord(n))
        recordLock.held = false;
    return n;
}

void TDbfFile::rewriteRecord(std::uint32_t n, const std::uint8_t *old, const std::uint8_t *buffer)
{
    const bool deleting = buffer[0] == kDeleted && old[0] != kDeleted;
    const bool undeleting = old[0] == kDeleted && buffer[0] != kDeleted;
    if (undeleting) {
        undeleteRecord(n, old, buffer);
        return;
    }
    std::size_t done = 0;
    try {
        for (; done < m_indexes.size(); ++done) {
            if (deleting)
                m_indexes[done]->deleteKey(n, old);
            else
                m_indexes[done]->updateKey(n, old, buffer);
        }
        writeRecord(n, buffer);
    } catch (...) {
        restoreKeys(n, old, buffer, deleting, done);
        throw;
    }
}

// A record brought back gets its keys again. A key may have stayed behind (a tag built over the
// deleted record, or another program that deletes without touching the index): it goes first, so
// that the record is not walked twice.
void TDbfFile::undeleteRecord(std::uint32_t n, const std::uint8_t *old, const std::uint8_t *buffer)
{
    std::size_t done = 0;
    try {
        for (; done < m_indexes.size(); ++done) {
            m_indexes[done]->deleteKey(n, old);
            if (!m_indexes[done]->insertKey(n, buffer))
                throw EDbfError("Cannot restore record " + std::to_string(n) + " of \"" + path() +
                                "\": its index refused it.");
        }
        writeRecord(n, buffer);
    } catch (...) {
        forgetKeys(n, buffer, done + (done < m_indexes.size() ? 1 : 0));
        throw;
    }
}

// Puts back the keys the first `count` indexes had before a rewrite that failed half-way, so that
// they lead to the record as it is still stored.
void TDbfFile::restoreKeys(std::uint32_t n, const std::uint8_t *old, const std::uint8_t *buffer,
                           bool deleted, std::size_t count) noexcept
{
    for (std::size_t i = 0; i < count && i < m_indexes.size(); ++i) {
        try {
            if (deleted)
                m_indexes[i]->insertKey(n, old);
            else
                m_indexes[i]->updateKey(n, buffer, old);
        } catch (const std::exception &) {
        }
    }
}

void TDbfFile::blankRecord(std::uint8_t *buffer) const
{
    std::memset(buffer, ' ', recordLength());
    for (const TDbfFieldDef &f : m_fields) {
        if (f.letter == 'I' || f.letter == '+' || f.letter == 'O' || f.letter == '@')
            std::memset(buffer + f.offset, 0, static_cast<std::size_t>(f.width));
    }
}

void TDbfFile::addIndexMaintainer(TIndexMaintainer *index)
{
    if (std::find(m_indexes.begin(), m_indexes.end(), index) == m_indexes.end())
        m_indexes.push_back(index);
}

void TDbfFile::removeIndexMaintainer(TIndexMaintainer *index)
{
    m_indexes.erase(std::remove(m_indexes.begin(), m_indexes.end(), index), m_indexes.end());
}

std::string dbfChangeStamp(int fd)
{
    std::uint8_t header[TDbfFile::kChangeStampAt + TDbfFile::kChangeStampSize];
    std::size_t done = 0;
    while (done < sizeof header) {
        const ssize_t n = ::pread(fd, header + done, sizeof header - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        done += static_cast<std::size_t>(n);
    }
    return std::string(reinterpret_cast<const char *>(header) + TDbfFile::kChangeStampAt,
                       TDbfFile::kChangeStampSize);
}

namespace {

// Writes a whole new file; the descriptor is closed whatever happens.
void writeWhole(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw EDbfError("Cannot create file \"" + path + "\".");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    const bool closed = ::close(fd) == 0;
    if (done != bytes.size() || !closed)
        throw EDbfError("Cannot write to file \"" + path + "\".");
}

} // namespace

void createDbfTable(const std::string &path, std::uint8_t version, std::uint8_t languageDriver,
                    const std::vector<TDbfCreateField> &fields, std::uint16_t memoBlockSize)
{
    const DescriptorLayout &layout = kShortDescriptor;
    const std::size_t headerLength = kShortHeader + layout.size * fields.size() + 1;
    std::vector<std::uint8_t> h(headerLength + 1, 0);
    std::size_t recordLength = 1;
    bool hasMemo = false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const TDbfCreateField &f = fields[i];
        std::uint8_t *d = h.data() + TDbfFile::kDescriptorsAt + layout.size * i;
        std::memcpy(d, f.name.data(), std::min<std::size_t>(f.name.size(), 10));
        d[layout.letterAt] = static_cast<std::uint8_t>(f.letter);
        d[layout.widthAt] = static_cast<std::uint8_t>(f.width);
        d[layout.decimalsAt] = static_cast<std::uint8_t>(f.decimals);
        recordLength += static_cast<std::size_t>(f.width);
        hasMemo = hasMemo || isMemoLetter(static_cast<char>(std::toupper(static_cast<unsigned char>(f.letter))));
    }
    h[TDbfFile::kVersionAt] = version;
    setToday(h.data());
    writeLE16(h.data() + TDbfFile::kHeaderLengthAt, static_cast<std::uint16_t>(headerLength));
    writeLE16(h.data() + TDbfFile::kRecordLengthAt, static_cast<std::uint16_t>(recordLength));
    h[TDbfFile::kLanguageDriverAt] = languageDriver;
    h[headerLength - 1] = TDbfFile::kDescriptorEnd;
    h[headerLength] = TDbfFile::kEndOfFile;
    writeWhole(path, h);
    if (!hasMemo)
        return;
    const bool dBaseIII = terminatorMemos(version, languageDriver);
    const std::uint16_t blockSize = dBaseIII ? 512 : memoBlockSize;
    std::vector<std::uint8_t> m(blockSize, 0);
    writeLE32(m.data(), 1);
    const std::size_t slash = path.rfind('/');
    std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    base = base.substr(0, base.rfind('.'));
    for (std::size_t i = 0; i < base.size() && i < 8; ++i)
        m[8 + i] = static_cast<std::uint8_t>(std::toupper(static_cast<unsigned char>(base[i])));
    if (dBaseIII)
        m[16] = 3;
    else
        writeLE16(m.data() + 20, blockSize);
    writeWhole(memoPathOf(path), m);
}
