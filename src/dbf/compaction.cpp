#include "compaction.h"

#include "dbfbytes.h"
#include "dbffile.h"
#include "indexcursor.h"
#include "indexfile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

using namespace dbfbytes;

namespace {

constexpr const char *kExtensions[] = {".dbt", ".mdx", ".dbf"}; // the order of the renames
constexpr int kBackupsKept = 5;
constexpr std::size_t kWriteRun = 1 << 20;
// How long compaction tries for the in-use lock while the path moves under it (another
// process settling a compaction of its own); a lock held by an open table refuses at once.
constexpr int kClaimTries = 50;

struct TablePaths
{
    std::string dir;  // ends with "/"
    std::string base; // file name without extension
    std::string table;
    std::string of(const std::string &ext) const { return dir + base + ext; }
    std::string fresh(const std::string &ext) const { return dir + base + ".new" + ext; }
    std::string marker() const { return dir + base + ".compact"; }
    std::string markerDraft() const { return marker() + ".tmp"; }
};

TablePaths pathsOf(const std::string &tablePath)
{
    TablePaths p;
    p.table = tablePath;
    const std::size_t slash = tablePath.rfind('/');
    p.dir = slash == std::string::npos ? std::string("./") : tablePath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? tablePath : tablePath.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    p.base = dot == std::string::npos ? name : name.substr(0, dot);
    return p;
}

bool exists(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::uint64_t sizeOf(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

[[noreturn]] void failOn(const std::string &what, const std::string &path)
{
    throw EDbfError("Cannot " + what + " \"" + path + "\": " + std::strerror(errno) + ".");
}

void syncPath(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        failOn("open", path);
    int result;
    do
        result = ::fsync(fd);
    while (result != 0 && errno == EINTR);
    const int err = errno;
    ::close(fd);
    errno = err;
    if (result != 0)
        failOn("write to", path);
}

void removeFile(const std::string &path)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        failOn("remove", path);
}

void renameFile(const std::string &from, const std::string &to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        failOn("rename", from);
}

// Writes a whole small file or throws; the caller flushes it.
void writeFile(const std::string &path, const std::string &bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        failOn("create", path);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = errno;
            ::close(fd);
            errno = err;
            failOn("write to", path);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0)
        failOn("write to", path);
}

std::string readSmallFile(const std::string &path)
{
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buf[256];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || text.size() > 4096)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

void copyFile(const std::string &from, const std::string &to)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        failOn("read", from);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        errno = err;
        failOn("create", to);
    }
    struct Close
    {
        int in, out;
        ~Close()
        {
            ::close(in);
            ::close(out);
        }
    } closer{in, out};
    std::vector<char> buf(kWriteRun);
    for (;;) {
        ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failOn("read", from);
        if (n == 0)
            break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buf.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                failOn("write to", to);
            done += w;
        }
    }
    if (::fsync(out) != 0)
        failOn("write to", to);
}

// A backup folder name: yyyy-mm-dd-hhmmss, maybe followed by "-n" when one second saw several.
bool isBackupName(const std::string &name)
{
    static const char shape[] = "dddd-dd-dd-dddddd";
    if (name.size() < sizeof shape - 1)
        return false;
    for (std::size_t i = 0; i < sizeof shape - 1; ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (shape[i] == 'd' ? !digit : name[i] != '-')
            return false;
    }
    return name.size() == sizeof shape - 1 || name[sizeof shape - 1] == '-';
}

// Oldest first: the names sort by time, a "-n" after its plain name.
std::vector<std::string> backupFolders(const std::string &root)
{
    std::vector<std::string> names;
    if (DIR *d = ::opendir(root.c_str())) {
        while (const dirent *e = ::readdir(d)) {
            if (isBackupName(e->d_name))
                names.emplace_back(e->d_name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        const std::string ta = a.substr(0, 17), tb = b.substr(0, 17);
        if (ta != tb)
            return ta < tb;
        const int na = a.size() > 18 ? std::atoi(a.c_str() + 18) : 1;
        const int nb = b.size() > 18 ? std::atoi(b.c_str() + 18) : 1;
        return na < nb;
    });
    return names;
}

// Removes a backup folder of ours: its plain files, then the folder. Anything else in it (a
// person's own file in a subfolder) keeps the folder.
void removeBackup(const std::string &folder)
{
    if (DIR *d = ::opendir(folder.c_str())) {
        while (const dirent *e = ::readdir(d)) {
            const std::string path = folder + "/" + e->d_name;
            struct stat st;
            if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                ::unlink(path.c_str());
        }
        ::closedir(d);
    }
    ::rmdir(folder.c_str());
}

// Copies the table's files into a new folder under root and keeps the five newest folders.
std::string backUp(const TablePaths &paths, const std::string &root)
{
    ::mkdir(root.c_str(), 0755);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    const std::string rootDir = root.back() == '/' ? root : root + "/";
    // The tables compacted together in one second share a folder; the same table twice gets a
    // second folder, so that the copy of the oldest state stays.
    std::string folder;
    for (int n = 1;; ++n) {
        folder = rootDir + stamp + (n == 1 ? std::string() : "-" + std::to_string(n));
        if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
            failOn("create", folder);
        if (std::none_of(std::begin(kExtensions), std::end(kExtensions), [&](const char *ext) {
                return exists(folder + "/" + paths.base + ext);
            }))
            break;
    }
    for (const char *ext : kExtensions) {
        if (exists(paths.of(ext)))
            copyFile(paths.of(ext), folder + "/" + paths.base + ext);
    }
    syncPath(folder);
    const std::vector<std::string> folders = backupFolders(rootDir);
    for (std::size_t i = 0; i + kBackupsKept < folders.size(); ++i)
        removeBackup(rootDir + folders[i]);
    return folder;
}

// The marker lists the new files in the order they go in place; nothing else is trusted in it.
std::vector<std::string> markerExtensions(const TablePaths &paths)
{
    const std::string text = readSmallFile(paths.marker());
    std::vector<std::string> listed;
    for (const char *ext : kExtensions) {
        if (text.find(std::string(ext + 1) + "\n") != std::string::npos)
            listed.emplace_back(ext);
    }
    if (listed.empty()) // a marker is only ever written whole; read it as naming all
        listed.assign(std::begin(kExtensions), std::end(kExtensions));
    return listed;
}

// Moves the new files in place, the .dbf last, then drops the marker.
void finishCompaction(const TablePaths &paths)
{
    for (const std::string &ext : markerExtensions(paths)) {
        if (exists(paths.fresh(ext)))
            renameFile(paths.fresh(ext), paths.of(ext));
    }
    syncPath(paths.dir);
    removeFile(paths.marker());
    syncPath(paths.dir);
}

void undoCompaction(const TablePaths &paths)
{
    removeFile(paths.markerDraft());
    for (const char *ext : kExtensions)
        removeFile(paths.fresh(ext));
}

// Opens the table file at the path and takes its in-use lock exclusively, settling what a killed
// compaction left. Throws ETableInUse when another process has the table open.
void claimExclusively(TPagedFile &guard, const TablePaths &paths)
{
    for (int attempt = 0;; ++attempt) {
        try {
            guard.openFile(paths.table, TDbfAccess::Shared);
        } catch (const EFileOpenError &) {
            throw ETableInUse(paths.table); // another process opened it exclusively
        }
        if (!guard.lockInUse(true))
            throw ETableInUse(paths.table);
        if (guard.stillAtPath()) {
            if (!compactionLeftovers(paths.table))
                return;
            settleCompaction(paths.table);
        }
        guard.closeFile();
        if (attempt == kClaimTries)
            throw ETableInUse(paths.table);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Writes records into the new table file in long runs.
class RecordWriter
{
public:
    explicit RecordWriter(TPagedFile &file, std::uint64_t at) : m_file(file), m_at(at) {}
    void add(const std::uint8_t *bytes, std::size_t length)
    {
        m_run.insert(m_run.end(), bytes, bytes + length);
        if (m_run.size() >= kWriteRun)
            flush();
    }
    void flush()
    {
        m_file.writeAt(m_at, m_run.data(), m_run.size());
        m_at += m_run.size();
        m_run.clear();
    }

private:
    TPagedFile &m_file;
    std::uint64_t m_at;
    std::vector<std::uint8_t> m_run;
};

unsigned optionsOf(const TIndexTag &tag)
{
    unsigned options = 0;
    if (tag.descending())
        options |= ixDescending;
    if (tag.uniqueness == 33)
        options |= ixPrimary;
    else if (tag.uniqueness == 1)
        options |= ixUnique;
    if (tag.entryFlag == 0)
        options |= ixExpression;
    return options;
}

// Writes <base>.new.dbt with the memos of the live records and <base>.new.dbf with those
// records, their memo fields pointing at the new blocks. Returns the number of records kept.
std::uint32_t writeTableAndMemos(TDbfFile &old, TPagedFile &table, const TablePaths &paths,
                                 const std::function<bool(std::uint32_t)> &keepDeleted)
{
    std::unique_ptr<TDbtFile> memo;
    if (TDbtFile *oldMemo = old.memoFile()) {
        std::vector<std::uint8_t> header = oldMemo->header();
        header.resize(oldMemo->blockSize(), 0);
        writeLE32(header.data(), 1);
        writeFile(paths.fresh(".dbt"), std::string(header.begin(), header.end()));
        memo = std::make_unique<TDbtFile>();
        memo->open(paths.fresh(".dbt"), TDbfAccess::Exclusive, oldMemo->terminatorStyle());
    }
    std::vector<int> memoFields;
    for (std::size_t i = 0; i < old.fields().size(); ++i) {
        const char letter = old.fields()[i].letter;
        if (letter == 'M' || letter == 'B' || letter == 'G')
            memoFields.push_back(static_cast<int>(i));
    }
    std::vector<std::uint8_t> header(old.headerSize(), 0);
    if (old.readAt(0, header.data(), header.size()) != header.size())
        throw EDbfError("Invalid DBF file \"" + paths.table + "\".");
    RecordWriter out(table, header.size());
    std::vector<std::uint8_t> record(old.recordLength());
    std::unordered_map<std::uint32_t, std::uint32_t> moved; // old block -> new block
    std::uint32_t kept = 0;
    const std::uint32_t count = old.recordCount();
    for (std::uint32_t n = 1; n <= count; ++n) {
        if (!old.readRecord(n, record.data()))
            throw EDbfError("Cannot read record " + std::to_string(n) + " of \"" + old.path() + "\".");
        if (record[0] == TDbfFile::kDeleted && !(keepDeleted && keepDeleted(n)))
            continue;
        for (int f : memoFields) {
            const std::uint32_t block = old.memoBlock(record.data(), f);
            if (block == 0 || !memo)
                continue;
            auto found = moved.find(block);
            if (found == moved.end())
                found = moved.emplace(block, memo->write(old.memoFile()->read(block))).first;
            old.setMemoBlock(record.data(), f, found->second);
        }
        out.add(record.data(), record.size());
        ++kept;
    }
    const std::uint8_t eof = TDbfFile::kEndOfFile;
    out.add(&eof, 1);
    out.flush();
    setToday(header.data());
    writeLE32(header.data() + 4, kept);
    table.writeAt(0, header.data(), header.size());
    if (memo) {
        memo->flushHeader();
        memo->sync();
    }
    table.sync();
    return kept;
}

// Builds <base>.new.mdx with the tags of the old index, in their order, over the new table.
void writeIndex(const TIndexFile &oldIndex, const TablePaths &paths)
{
    TDbfFile fresh;
    if (!fresh.open(paths.fresh(".dbf"), TDbfAccess::ReadOnly, false))
        throw EDbfError("Invalid DBF file \"" + paths.fresh(".dbf") + "\".");
    TIndexFile::TableInfo info = indexTableInfo(fresh);
    info.access = TDbfAccess::Exclusive;
    info.tableName = paths.base;
    std::unique_ptr<TIndexFile> index = TIndexFile::create(paths.fresh(".mdx"), info);
    const auto read = [&fresh](std::uint32_t n, std::vector<std::uint8_t> &record) {
        record.resize(fresh.recordLength());
        if (!fresh.readRecord(n, record.data()))
            throw EDbfError("Cannot read record " + std::to_string(n) + " of \"" + fresh.path() + "\".");
    };
    for (int i = 0; i < oldIndex.tagCount(); ++i) {
        const TIndexTag &tag = oldIndex.tag(i);
        index->beginBatch();
        index->createTag(tag.name, tag.expression, optionsOf(tag), fresh.recordCount(), read);
        index->endBatch();
    }
    index.reset();
    syncPath(paths.fresh(".mdx"));
}

} // namespace

bool compactionLeftovers(const std::string &tablePath)
{
    const TablePaths paths = pathsOf(tablePath);
    if (exists(paths.marker()) || exists(paths.markerDraft()))
        return true;
    for (const char *ext : kExtensions) {
        if (exists(paths.fresh(ext)))
            return true;
    }
    return false;
}

void settleCompaction(const std::string &tablePath)
{
    const TablePaths paths = pathsOf(tablePath);
    if (exists(paths.marker()))
        finishCompaction(paths);
    undoCompaction(paths);
    syncPath(paths.dir);
}

TCompaction compactTable(const std::string &tablePath, const std::string &backupRoot,
                         const std::function<bool(std::uint32_t)> &keepDeleted)
{
    const TablePaths paths = pathsOf(tablePath);
    TPagedFile guard; // the old table, locked for the whole compaction
    claimExclusively(guard, paths);

    TCompaction result;
    for (const char *ext : kExtensions)
        result.sizeBefore += sizeOf(paths.of(ext));

    TDbfFile old;
    if (!old.open(paths.table, TDbfAccess::ReadOnly, false))
        throw EDbfError("Invalid DBF file \"" + paths.table + "\".");
    std::unique_ptr<TIndexFile> oldIndex;
    if (old.header()[28] != 0) {
        TIndexFile::TableInfo info = indexTableInfo(old);
        std::string why;
        oldIndex = TIndexFile::open(indexPathOf(paths.table), info, &why);
        if (!oldIndex) // rebuilding what we cannot read would drop its tags
            throw EDbfError("Cannot rebuild index file \"" + indexPathOf(paths.table) + "\": " + why);
    }
    if (!backupRoot.empty())
        result.backup = backUp(paths, backupRoot);

    // Until the marker is written, a failure or a kill leaves the old table; the new files go.
    struct Undo
    {
        const TablePaths &paths;
        bool armed = true;
        ~Undo()
        {
            if (!armed)
                return;
            try {
                undoCompaction(paths);
            } catch (const std::exception &) {
                // Leftovers are settled at the next open.
            }
        }
    } undo{paths};

    TPagedFile table; // the new table file, locked before its name can lead anybody to it
    writeFile(paths.fresh(".dbf"), {});
    table.openFile(paths.fresh(".dbf"), TDbfAccess::Shared);
    if (!table.lockInUse(true))
        throw ETableInUse(paths.fresh(".dbf"));
    result.kept = writeTableAndMemos(old, table, paths, keepDeleted);
    result.removed = old.recordCount() - result.kept;
    if (oldIndex)
        writeIndex(*oldIndex, paths);
    oldIndex.reset();
    old.close();

    std::string listed;
    for (const char *ext : kExtensions) {
        if (exists(paths.fresh(ext)))
            listed += std::string(ext + 1) + "\n";
    }
    syncPath(paths.dir);
    writeFile(paths.markerDraft(), listed);
    renameFile(paths.markerDraft(), paths.marker());
    undo.armed = false;
    syncPath(paths.dir);
    finishCompaction(paths);

    for (const char *ext : kExtensions)
        result.sizeAfter += sizeOf(paths.of(ext));
    return result;
}
