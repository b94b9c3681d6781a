#include "indexfile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

using namespace mdx;

namespace {

std::string upper(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string cString(const std::uint8_t *bytes, std::size_t max)
{
    std::size_t n = 0;
    while (n < max && bytes[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char *>(bytes), n);
}

void writeDate(std::uint8_t *at)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    at[0] = static_cast<std::uint8_t>(local.tm_year % 256);
    at[1] = static_cast<std::uint8_t>(local.tm_mon + 1);
    at[2] = static_cast<std::uint8_t>(local.tm_mday);
}

} // namespace

TIndexFile::~TIndexFile() = default;

std::unique_ptr<TIndexFile> TIndexFile::open(const std::string &path, const TableInfo &table,
                                             std::string *whyUnusable)
{
    std::unique_ptr<TIndexFile> file(new TIndexFile);
    file->m_table = table;
    file->m_file.openFile(path, table.access);
    try {
        Lock lock(*file);
        file->loadHeader();
        file->loadTags();
        // The roots only: a damaged deeper page is found when it is visited.
        for (const TIndexTag &tag : file->m_tags) {
            if (tag.rootBlock == tag.headerBlock)
                file->damaged(tag.rootBlock, "a tag's root is its own header");
            file->readPage(tag, tag.rootBlock);
        }
    } catch (const EDbfError &error) {
        if (whyUnusable)
            *whyUnusable = error.what();
        return nullptr;
    }
    return file;
}

std::unique_ptr<TIndexFile> TIndexFile::create(const std::string &path, const TableInfo &table)
{
    std::vector<std::uint8_t> header(kHeaderSize, 0);
    header[0] = kVersion;
    writeDate(&header[1]);
    const std::string name = table.tableName.substr(0, 15);
    std::copy(name.begin(), name.end(), header.begin() + kHdrTableName);
    writeLE16(&header[kHdrBlocksPerPage], kBlocksPerPage);
    writeLE16(&header[kHdrPageSize], kPageSize);
    header[kHdrProduction] = 1;
    header[kHdrEntries] = kTagTableEntries;
    header[kHdrEntryLength] = kTagEntryLength;
    header[kHdrLanguageDriver] = table.languageDriver;
    writeLE32(&header[kHdrNextFree], kFirstFreeBlock);
    writeDate(&header[kHdrDateAgain]);
    header[kHdrOne] = 1;

    // Like the tables, the user's alone.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::FILE *out = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (fd >= 0 && !out)
        ::close(fd);
    if (!out)
        throw EDbfError("Cannot create index file \"" + path + "\".");
    const bool written = std::fwrite(header.data(), 1, header.size(), out) == header.size();
    if (std::fclose(out) != 0 || !written)
        throw EDbfError("Cannot write index file \"" + path + "\".");
    std::string why;
    std::unique_ptr<TIndexFile> file = open(path, table, &why);
    if (!file)
        throw EDbfError(why);
    return file;
}

void TIndexFile::damaged(std::uint32_t block, const std::string &what) const
{
    throw EDbfError("Index file \"" + path() + "\" is damaged at block " + std::to_string(block) +
                    ": " + what + ".");
}

// Reads the header and decides the comparison rule from the table's language driver L and the
// file's byte 31: a dBase III table without driver compares bytes unless the file names a
// locale; any other table needs the file to agree with L and L to name an installed locale.
void TIndexFile::loadHeader()
{
    Lock lock(*this);
    m_header.assign(kHeaderSize, 0);
    if (m_file.readAt(0, m_header.data(), kHeaderSize) != kHeaderSize)
        damaged(0, "the header is shorter than 2048 bytes");
    if (readLE16(&m_header[kHdrBlocksPerPage]) != kBlocksPerPage || readLE16(&m_header[kHdrPageSize]) != kPageSize)
        damaged(0, "pages are not 1024 bytes of two blocks");
    if (readLE16(&m_header[kHdrTagCount]) > kMaxTags)
        damaged(0, "more than 47 tags");
    const std::uint8_t fileDriver = m_header[kHdrLanguageDriver];
    const std::uint8_t tableDriver = m_table.languageDriver;
    std::optional<IndexCollation> collation;
    if (tableDriver == 0 && m_table.dBaseIII) {
        if (fileDriver == 0)
            collation.emplace();
        else
            collation = IndexCollation::forLanguageDriver(fileDriver, m_table.codePage);
    } else if (fileDriver == 0 || fileDriver == tableDriver) {
        collation = IndexCollation::forLanguageDriver(tableDriver, m_table.codePage);
    }
    if (!collation)
        throw EDbfError("Index file \"" + path() + "\" was made for another language driver or a "
                        "locale that is not installed.");
    m_collation = std::move(*collation);
}

void TIndexFile::loadTags()
{
    m_tags.clear();
    const std::uint16_t count = readLE16(&m_header[kHdrTagCount]);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint8_t *entry = &m_header[kTagTableOffset + kTagEntryLength * i];
        TIndexTag tag;
        tag.headerBlock = readLE32(entry + kEntryHeaderBlock);
        tag.name = upper(cString(entry + kEntryName, kEntryNameSize));
        tag.entryFlag = entry[kEntryFlag];
        readTagHeader(tag);
        resolveKeyParts(tag);
        m_tags.push_back(std::move(tag));
    }
}

void TIndexFile::readTagHeader(TIndexTag &tag)
{
    const TMdxPage page = tagHeaderPage(tag);
    const std::uint8_t *h = page.data();
    tag.rootBlock = readLE32(h + kTagRoot);
    tag.flags = h[kTagFlags];
    tag.keyType = static_cast<char>(h[kTagType]);
    tag.keyLength = readLE16(h + kTagKeyLength);
    tag.maxKeys = readLE16(h + kTagMaxKeys);
    tag.keyRecordLength = readLE16(h + kTagKeyRecord);
    tag.uniqueness = h[kTagUniqueness];
    tag.expression = upper(cString(h + kTagExpression, kMaxExpression + 1));
    if (tag.keyLength == 0 || tag.keyLength > kMaxKeyLength || tag.keyRecordLength != keyRecordLength(tag.keyLength) ||
        tag.maxKeys != maxKeysPerPage(tag.keyLength))
        damaged(tag.headerBlock, "the tag header's key sizes do not agree");
}

// The key of a character tag is the stored bytes of its fields, one after the other.
void TIndexFile::resolveKeyParts(TIndexTag &tag) const
{
    if (tag.keyType != 'C')
        throw EDbfError("Index \"" + tag.name + "\" has keys of type " + std::string(1, tag.keyType) +
                        ", which this program does not maintain.");
    tag.parts.clear();
    std::size_t length = 0;
    std::string expression = tag.expression;
    for (std::size_t start = 0; start <= expression.size();) {
        std::size_t plus = expression.find('+', start);
        if (plus == std::string::npos)
            plus = expression.size();
        const std::string name = trimmed(expression.substr(start, plus - start));
        const std::optional<TIndexField> field = m_table.findField ? m_table.findField(name) : std::nullopt;
        if (!field)
            throw EDbfError("Index based on unknown field \"" + name + "\".");
        if (field->typeLetter != 'C')
            throw EDbfError("Invalid index type: can only be string or float.");
        tag.parts.push_back(*field);
        length += field->width;
        start = plus + 1;
    }
    if (length > kMaxKeyLength)
        throw EDbfError("Index result for \"" + tag.expression + "\" too long, >100 characters (" +
                        std::to_string(length) + ").");
    if (tag.keyLength != 0 && length != tag.keyLength)
        throw EDbfError("Index \"" + tag.name + "\" has keys of " + std::to_string(tag.keyLength) +
                        " bytes where its expression gives " + std::to_string(length) + ".");
    tag.keyLength = static_cast<std::uint16_t>(length);
}

namespace {

// Enough for the upper levels of any tree and the leaves a walk or an import is working on.
constexpr std::size_t kMaxKeptPages = 16384;

} // namespace

void TIndexFile::validateCache()
{
    if (m_file.access() == TDbfAccess::Exclusive && !m_seenBlock0.empty())
        return; // nobody else writes
    // The size too: a file cut back or grown by someone who does not count changes.
    std::vector<std::uint8_t> &block0 = m_block0Scratch;
    block0.assign(kBlockSize + 8, 0);
    m_file.readAt(0, block0.data(), kBlockSize);
    m_knownSize = m_file.fileSize();
    writeLE32(&block0[kBlockSize], static_cast<std::uint32_t>(m_knownSize / kBlockSize));
    if (block0 == m_seenBlock0)
        return;
    m_pageCache.clear();
    ++m_generation;
    m_seenBlock0.swap(block0);
}

// Before the first write under a lock, so that a writer killed half way still makes the others
// drop what they kept.
void TIndexFile::bumpChangeCounter()
{
    if (m_bumped || m_lockDepth == 0)
        return;
    m_bumped = true;
    if (m_seenBlock0.size() < kBlockSize)
        m_seenBlock0.assign(m_header.begin(), m_header.begin() + kBlockSize);
    // Without tags nobody can have kept a page: a new file stays as other programs write it.
    if (readLE16(&m_seenBlock0[kHdrTagCount]) == 0)
        return;
    const std::uint32_t counter = readLE32(&m_seenBlock0[kHdrChangeCounter]) + 1;
    writeLE32(&m_seenBlock0[kHdrChangeCounter], counter);
    writeLE32(&m_header[kHdrChangeCounter], counter);
    m_file.writeAt(kHdrChangeCounter, &m_header[kHdrChangeCounter], 4);
}

void TIndexFile::writeHeaderBlocks(std::size_t length)
{
    bumpChangeCounter();
    ++m_generation;
    if (m_seenBlock0.size() >= kBlockSize)
        writeLE32(&m_header[kHdrChangeCounter], readLE32(&m_seenBlock0[kHdrChangeCounter]));
    if (batching()) {
        m_headerPending = std::max(m_headerPending, length); // after the pages, at the flush
    } else {
        m_file.writeAt(0, m_header.data(), length);
        m_knownSize = std::max<std::uint64_t>(m_knownSize, length);
    }
    noteBlock0();
}

// What block 0 holds (or will, after a batch's flush) and the file's size: what validateCache
// will compare.
void TIndexFile::noteBlock0()
{
    m_seenBlock0.resize(kBlockSize + 8);
    std::copy(m_header.begin(), m_header.begin() + kBlockSize, m_seenBlock0.begin());
    writeLE32(&m_seenBlock0[kBlockSize], static_cast<std::uint32_t>(m_knownSize / kBlockSize));
}

const TMdxPage &TIndexFile::keepPage(const TMdxPage &page) const
{
    if (m_pageCache.size() >= kMaxKeptPages && m_dirty.empty())
        m_pageCache.clear();
    return m_pageCache.insert_or_assign(page.block(), page).first->second;
}

// The order in which a batch writes its pages, as a split does: pages the batch allocated first
// (nothing on disk leads to them yet), in block order so that the file grows without holes; then
// the tag headers (their roots), then the older pages from the root down, so that a parent is
// written before the page that gave it keys. A crash half way leaves keys doubled, never lost.
std::unordered_map<std::uint32_t, std::uint32_t> TIndexFile::flushRanks() const
{
    std::unordered_map<std::uint32_t, std::uint32_t> rank;
    for (const TIndexTag &tag : m_tags) {
        rank.emplace(tag.headerBlock, 1);
        std::vector<std::uint32_t> level{tag.rootBlock}, next;
        for (std::uint32_t depth = 2; !level.empty() && depth < 64; ++depth, level.swap(next)) {
            next.clear();
            for (const std::uint32_t block : level) {
                const auto page = m_pageCache.find(block);
                if (page == m_pageCache.end() || !rank.emplace(block, depth).second)
                    continue;
                const TMdxPage &p = page->second;
                if (p.isBranch()) {
                    for (std::uint32_t i = 0; i <= p.keyCount(); ++i)
                        next.push_back(p.number(i));
                }
            }
        }
    }
    return rank;
}

// See flushRanks; the file header (next free block) goes last, so that it never names blocks
// the file does not hold.
void TIndexFile::flushDirtyPages()
{
    std::vector<std::uint32_t> dirty;
    dirty.swap(m_dirty);
    const std::size_t headerLength = std::exchange(m_headerPending, 0);
    const std::uint32_t firstNew = m_batchFirstNew;
    const std::unordered_map<std::uint32_t, std::uint32_t> ranks = flushRanks();
    const auto rankOf = [&](std::uint32_t block) -> std::uint32_t {
        if (block >= firstNew)
            return 0;
        const auto known = ranks.find(block);
        return known == ranks.end() ? ~0u : known->second;
    };
    std::sort(dirty.begin(), dirty.end());
    dirty.erase(std::unique(dirty.begin(), dirty.end()), dirty.end());
    std::stable_sort(dirty.begin(), dirty.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return rankOf(a) < rankOf(b); });
    try {
        for (const std::uint32_t block : dirty) {
            const auto page = m_pageCache.find(block);
            if (page != m_pageCache.end())
                m_file.writeAt(static_cast<std::uint64_t>(block) * kBlockSize, page->second.data(), kPageSize);
        }
        if (headerLength > 0)
            m_file.writeAt(0, m_header.data(), headerLength);
    } catch (...) {
        // What is kept no longer matches the file: read it all again.
        m_pageCache.clear();
        m_seenBlock0.clear();
        throw;
    }
    m_batchFirstNew = readLE32(&m_header[kHdrNextFree]);
}

void TIndexFile::beginBatch()
{
    if (m_batchDepth++ > 0)
        return;
    try {
        m_batchLock = std::make_unique<Lock>(*this);
    } catch (...) {
        --m_batchDepth;
        throw;
    }
    m_batchFirstNew = readLE32(&m_seenBlock0[kHdrNextFree]);
}

void TIndexFile::endBatch()
{
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return;
    struct Release
    {
        std::unique_ptr<Lock> &lock;
        ~Release() { lock.reset(); }
    } release{m_batchLock};
    flushDirtyPages();
}

TMdxPage TIndexFile::readPage(const TIndexTag &tag, std::uint32_t block) const
{
    return page(tag, block);
}

const TMdxPage &TIndexFile::page(const TIndexTag &tag, std::uint32_t block) const
{
    if (block == tag.headerBlock)
        damaged(block, "a page number points at its tag's header");
    return loadPage(tag, block, true);
}

TMdxPage TIndexFile::tagHeaderPage(const TIndexTag &tag) const
{
    return loadPage(tag, tag.headerBlock, false);
}

// Kept pages are checked as well: another tag's header may be among them.
const TMdxPage &TIndexFile::loadPage(const TIndexTag &tag, std::uint32_t block, bool treePage) const
{
    if (m_lockDepth > 0) {
        const auto cached = m_pageCache.find(block);
        if (cached != m_pageCache.end() && cached->second.maxKeys() == tag.maxKeys) {
            if (treePage && cached->second.keyCount() > tag.maxKeys)
                damaged(block, "a page holds more keys than a page can");
            return cached->second;
        }
    }
    TMdxPage &page = m_uncached.emplace(block, tag.keyRecordLength, tag.maxKeys);
    if (block < kFirstFreeBlock)
        damaged(block, "a page number points into the file header");
    if (m_file.readAt(static_cast<std::uint64_t>(block) * kBlockSize, page.data(), kPageSize) != kPageSize)
        damaged(block, "a page number points past the end of the file");
    if (treePage && page.keyCount() > tag.maxKeys)
        damaged(block, "a page holds more keys than a page can");
    if (m_lockDepth > 0)
        return keepPage(page);
    return page;
}

void TIndexFile::writePage(const TMdxPage &page)
{
    bumpChangeCounter();
    ++m_generation;
    if (batching()) {
        if (m_pageCache.size() >= kMaxKeptPages)
            flushDirtyPages();
        keepPage(page);
        m_dirty.push_back(page.block());
        return;
    }
    const std::uint64_t offset = static_cast<std::uint64_t>(page.block()) * kBlockSize;
    try {
        m_file.writeAt(offset, page.data(), kPageSize);
    } catch (...) {
        m_pageCache.erase(page.block()); // what the file holds there is not known
        throw;
    }
    m_knownSize = std::max(m_knownSize, offset + kPageSize);
    if (m_lockDepth > 0)
        keepPage(page);
    else
        m_pageCache.erase(page.block());
}

void TIndexFile::writeFileHeader()
{
    writeHeaderBlocks(m_header.size());
}

void TIndexFile::writeTagHeader(const TIndexTag &tag, std::uint32_t blocksUsed)
{
    TMdxPage page(tag.headerBlock, tag.keyRecordLength, tag.maxKeys);
    std::uint8_t *h = page.data();
    writeLE32(h + kTagRoot, tag.rootBlock);
    writeLE32(h + kTagBlocks, blocksUsed);
    h[kTagFlags] = tag.flags;
    h[kTagType] = static_cast<std::uint8_t>(tag.keyType);
    writeLE16(h + kTagKeyLength, tag.keyLength);
    writeLE16(h + kTagMaxKeys, tag.maxKeys);
    writeLE16(h + kTagKeyRecord, tag.keyRecordLength);
    writeLE16(h + kTagTwo, 2);
    h[kTagUniqueness] = tag.uniqueness;
    std::copy(tag.expression.begin(), tag.expression.end(), h + kTagExpression);
    h[kTagTrailer + 2] = 1;
    writePage(page);
}

// Takes the next free block for a new page of `tag`: moves the next free block on by 2, counts
// the blocks in the tag header and writes both headers. The file header is taken as the lock
// found it (another process may have allocated since the last lock), or as this process wrote
// it since. The caller holds the lock.
std::uint32_t TIndexFile::allocatePage(TIndexTag &tag)
{
    Lock lock(*this);
    if (m_seenBlock0.size() < kBlockSize)
        damaged(0, "the header cannot be read");
    std::copy(m_seenBlock0.begin(), m_seenBlock0.begin() + kBlockSize, m_header.begin());
    const std::uint32_t block = readLE32(&m_header[kHdrNextFree]);
    const std::uint64_t offset = static_cast<std::uint64_t>(block) * kBlockSize;
    const std::uint64_t size = m_knownSize;
    // A next free block inside the file would overwrite live pages, one far past it would grow
    // the file without end: both mean the header is wrong.
    if (block < kFirstFreeBlock || offset < size || offset > size + kPageSize || block > 0xFFFFFFF0u)
        damaged(0, "the next free block " + std::to_string(block) + " does not match the file size");
    writeLE32(&m_header[kHdrNextFree], block + kBlocksPerPage);
    // The file grows with the next free block (in a batch, at the flush, before the header).
    writePage(TMdxPage(block, tag.keyRecordLength, tag.maxKeys));
    if (batching())
        m_knownSize = std::max(m_knownSize, offset + kPageSize);
    writeHeaderBlocks(kBlockSize);
    if (tag.headerBlock >= kFirstFreeBlock && tag.headerBlock != block) {
        TMdxPage header = tagHeaderPage(tag);
        writeLE32(header.data() + kTagBlocks, readLE32(header.data() + kTagBlocks) + kBlocksPerPage);
        writePage(header);
    }
    return block;
}

int TIndexFile::findTag(const std::string &name) const
{
    const std::string wanted = upper(name.substr(0, kMaxTagName));
    for (std::size_t i = 0; i < m_tags.size(); ++i) {
        if (m_tags[i].name == wanted)
            return static_cast<int>(i);
    }
    return -1;
}

int TIndexFile::compareKeys(const TIndexTag &tag, const std::uint8_t *a, const std::uint8_t *b) const
{
    const int order = m_collation.compare(a, b, tag.keyLength);
    return tag.descending() ? -order : order;
}

std::vector<std::uint8_t> TIndexFile::keyOf(int i, const std::uint8_t *record) const
{
    std::vector<std::uint8_t> key;
    keyInto(tag(i), record, key);
    return key;
}

void TIndexFile::keyInto(const TIndexTag &tag, const std::uint8_t *record, std::vector<std::uint8_t> &key)
{
    key.resize(tag.keyLength);
    std::uint8_t *at = key.data();
    for (const TIndexField &part : tag.parts) {
        std::memcpy(at, record + part.offset, part.width);
        at += part.width;
    }
}

// The tag a definition asks for, checked against the table's fields.
TIndexTag TIndexFile::describeTag(const std::string &name, const std::string &expression, unsigned options) const
{
    TIndexTag tag;
    tag.name = upper(name.substr(0, kMaxTagName));
    tag.expression = upper(expression).substr(0, kMaxExpression);
    resolveKeyParts(tag);
    tag.keyRecordLength = keyRecordLength(tag.keyLength);
    tag.maxKeys = maxKeysPerPage(tag.keyLength);
    tag.flags = kFlagCharacter;
    if (options & ixDescending)
        tag.flags |= kFlagDescending;
    if (options & ixPrimary)
        tag.flags |= kFlagPrimary;
    else if (options & ixUnique)
        tag.flags |= kFlagUnique;
    tag.uniqueness = (options & ixPrimary) ? 33 : (options & ixUnique) ? 1 : 0;
    tag.entryFlag = (options & ixExpression) ? 0 : 0x10;
    return tag;
}

void TIndexFile::addTagEntry(std::size_t index, const TIndexTag &tag)
{
    std::uint8_t *entry = &m_header[kTagTableOffset + kTagEntryLength * index];
    std::fill(entry, entry + kTagEntryLength, 0);
    writeLE32(entry + kEntryHeaderBlock, tag.headerBlock);
    std::copy(tag.name.begin(), tag.name.end(), entry + kEntryName);
    entry[kEntryFlag] = tag.entryFlag;
    entry[kEntryTwo] = 2;
    entry[kEntryKeyType] = static_cast<std::uint8_t>(tag.keyType);
    writeLE16(&m_header[kHdrTagCount], static_cast<std::uint16_t>(index + 1));
    writeFileHeader();
}

int TIndexFile::createTag(const std::string &name, const std::string &expression, unsigned options,
                          std::uint32_t count,
                          const std::function<void(std::uint32_t, std::vector<std::uint8_t> &)> &readRecord)
{
    Lock lock(*this);
    if (m_tags.size() >= static_cast<std::size_t>(kMaxTags))
        throw EDbfError("Can not create index: too many indexes in file.");
    TIndexTag tag = describeTag(name, expression, options);
    const std::vector<std::uint8_t> savedHeader = m_header;
    const int index = static_cast<int>(m_tags.size());
    try {
        tag.headerBlock = allocatePage(tag);
        tag.rootBlock = allocatePage(tag);
        writeTagHeader(tag, 2 * kBlocksPerPage);
        addTagEntry(m_tags.size(), tag);
        m_tags.push_back(tag);
        std::vector<std::uint8_t> record;
        for (std::uint32_t recNo = 1; recNo <= count; ++recNo) {
            readRecord(recNo, record);
            insertUnlocked(index, keyOf(index, record.data()).data(), recNo, nullptr);
        }
    } catch (...) {
        // Forget the tag; its pages stay allocated, so the next free block keeps its new value.
        const std::uint32_t nextFree = readLE32(&m_header[kHdrNextFree]);
        m_header = savedHeader;
        writeLE32(&m_header[kHdrNextFree], std::max(nextFree, readLE32(&savedHeader[kHdrNextFree])));
        writeFileHeader();
        m_tags.resize(static_cast<std::size_t>(index));
        throw;
    }
    m_live = true;
    return index;
}

void TIndexFile::recordAppended(std::uint32_t recNo, const std::uint8_t *record)
{
    if (!m_live)
        return;
    Lock lock(*this);
    std::size_t done = 0;
    try {
        for (; done < m_tags.size(); ++done) {
            keyInto(m_tags[done], record, m_newKey);
            insertUnlocked(static_cast<int>(done), m_newKey.data(), recNo, nullptr);
        }
    } catch (...) {
        for (std::size_t i = 0; i < done; ++i) {
            try {
                deleteUnlocked(static_cast<int>(i), keyOf(static_cast<int>(i), record).data(), recNo);
            } catch (const EDbfError &) {
                // The first error is the one to report.
            }
        }
        throw;
    }
}

void TIndexFile::recordRewritten(std::uint32_t recNo, const std::uint8_t *oldRecord,
                                 const std::uint8_t *newRecord)
{
    if (!m_live)
        return;
    Lock lock(*this);
    for (std::size_t i = 0; i < m_tags.size(); ++i) {
        const int t = static_cast<int>(i);
        const std::vector<std::uint8_t> before = keyOf(t, oldRecord);
        const std::vector<std::uint8_t> after = keyOf(t, newRecord);
        if (before == after)
            continue;
        deleteUnlocked(t, before.data(), recNo);
        insertUnlocked(t, after.data(), recNo, nullptr);
    }
}

void TIndexFile::recordDeleted(std::uint32_t recNo, const std::uint8_t *record)
{
    if (!m_live)
        return;
    Lock lock(*this);
    for (std::size_t i = 0; i < m_tags.size(); ++i)
        deleteUnlocked(static_cast<int>(i), keyOf(static_cast<int>(i), record).data(), recNo);
}

void TIndexFile::insertKey(int tag, const std::uint8_t *key, std::uint32_t recNo, TIndexPath *where)
{
    Lock lock(*this);
    insertUnlocked(tag, key, recNo, where);
}

bool TIndexFile::deleteKey(int tag, const std::uint8_t *key, std::uint32_t recNo)
{
    Lock lock(*this);
    return deleteUnlocked(tag, key, recNo);
}
