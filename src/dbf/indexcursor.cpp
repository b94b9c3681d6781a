#include "indexcursor.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <numeric>

namespace {

// The first read-ahead after the cursor was placed covers about a leaf and leaves the records to
// the dataset, so that a person stepping through a few entries sees them as they are stored now;
// each one after asks for eight times more, up to the records that the budget below holds.
constexpr std::size_t kFirstRun = 16;
constexpr std::size_t kRunGrowth = 8;
// Records of a run are spread over the whole table, so each long run reads most of it: fewer,
// longer runs copy less, but fresh memory is dear too. Half the table balances the two.
constexpr std::uint64_t kLeastBudget = std::uint64_t(1) << 20;
constexpr std::uint64_t kMostBudget = std::uint64_t(32) << 20;
// Records closer together than this are read with the bytes between them: copying that much costs
// about what one more read call does. One call reads at most kMaxSpan bytes.
constexpr std::uint64_t kMergeGap = 8192;
constexpr std::uint64_t kMaxSpan = std::uint64_t(1) << 20;
// What a cursor keeps for its next walk; more is given back when a walk ends.
constexpr std::size_t kKeptMemory = std::size_t(1) << 20;

} // namespace

TIndexCursor::TIndexCursor(TIndexFile &index, int tag, const TDbfFile &table)
    : m_index(index), m_tag(tag), m_table(table)
{
}

TIndexCursor::~TIndexCursor()
{
    if (m_registration && *m_registration == this)
        *m_registration = nullptr;
}

bool TIndexCursor::move(bool forward)
{
    if (m_where == (forward ? Where::AfterLast : Where::BeforeFirst))
        return false;
    if (m_where != Where::At) {
        dropReadAhead();
        const bool found = m_index.seekEdge(m_tag, forward ? TIndexFile::Edge::First : TIndexFile::Edge::Last,
                                            m_position);
        if (!found) {
            m_where = forward ? Where::AfterLast : Where::BeforeFirst;
            return false;
        }
        m_where = Where::At;
        return true;
    }
    if (moveWithinRun(forward) || readRun(forward))
        return true;
    dropReadAhead();
    m_where = forward ? Where::AfterLast : Where::BeforeFirst;
    return false;
}

bool TIndexCursor::moveWithinRun(bool forward)
{
    if (!m_onRunEntry || forward != m_runForward || m_runAt + 1 >= m_run.entries.size() ||
        m_run.generation != m_index.generation())
        return false;
    ++m_runAt;
    m_onRunEntry = true;
    return true;
}

// Reads the entries after the current one; false at the end of the tag.
bool TIndexCursor::readRun(bool forward)
{
    if (forward != m_runForward) {
        dropReadAhead();
        m_runForward = forward;
    }
    const bool underWay = m_runLength > 0;
    const std::uint64_t length = std::max<std::uint64_t>(1, m_table.recordLength());
    const std::uint64_t budget = std::clamp(length * m_table.unitCount() / 2, kLeastBudget, kMostBudget);
    const auto most = static_cast<std::size_t>(std::max<std::uint64_t>(kFirstRun, budget / length));
    m_runLength = underWay ? std::min(m_runLength * kRunGrowth, most) : kFirstRun;
    syncPosition();
    m_run.clearEntries();
    m_haveRecord.clear();
    m_index.readAhead(m_tag, m_position, forward, m_runLength, m_run);
    if (m_run.entries.empty())
        return false;
    m_runAt = 0;
    m_onRunEntry = true;
    if (underWay)
        readRecords();
    return true;
}

// Reads the records of the run in the order they lie in the table, joining close ones into one
// call. Records past the table's end are left to the dataset, which finds no record there.
void TIndexCursor::readRecords()
{
    const std::size_t length = m_table.recordLength();
    const std::size_t count = m_run.entries.size();
    // Record number above, entry below: sorting these sorts the entries by place in the table.
    std::vector<std::uint64_t> &order = m_order;
    order.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        order[i] = std::uint64_t(m_run.entries[i].recNo) << 32 | i;
    std::sort(order.begin(), order.end());
    const auto recNo = [&order](std::size_t k) { return static_cast<std::uint32_t>(order[k] >> 32); };
    const auto entry = [&order](std::size_t k) { return static_cast<std::size_t>(order[k] & 0xFFFFFFFFu); };
    m_records.reserve(count * length);
    // No span is longer than the table.
    m_span.reserve(std::clamp<std::uint64_t>(m_table.unitOffset(m_table.unitCount() + 1), length, kMaxSpan));
    const std::uint64_t spanSize = std::min<std::uint64_t>(m_span.size(), kMaxSpan);
    m_haveRecord.assign(count, false);
    std::uint32_t limit = m_table.unitCount();
    for (std::size_t i = 0; i < count;) {
        const std::uint32_t first = recNo(i);
        if (first > limit && (limit = m_table.freshUnitCount()) < first)
            return;
        const std::uint64_t start = m_table.unitOffset(first);
        std::uint64_t end = start + length;
        std::size_t j = i + 1;
        for (; j < count && recNo(j) <= limit; ++j) {
            const std::uint64_t at = m_table.unitOffset(recNo(j));
            if (at > end + kMergeGap || at + length - start > spanSize)
                break;
            end = std::max(end, at + length);
        }
        const std::size_t got = first == 0 ? 0 : m_table.readAt(start, m_span.data(), end - start);
        for (; i < j; ++i) {
            const std::uint64_t at = m_table.unitOffset(recNo(i)) - start;
            if (recNo(i) == 0 || at + length > got)
                continue;
            std::memcpy(m_records.data() + entry(i) * length, m_span.data() + at, length);
            m_haveRecord[entry(i)] = true;
        }
    }
}

bool TIndexCursor::takeReadAhead(std::uint32_t n, std::uint8_t *record)
{
    if (m_where != Where::At || !m_onRunEntry || m_runAt >= m_haveRecord.size() || !m_haveRecord[m_runAt] ||
        m_run.entries[m_runAt].recNo != n || m_run.generation != m_index.generation())
        return false;
    m_haveRecord[m_runAt] = false;
    const std::size_t length = m_table.recordLength();
    std::memcpy(record, m_records.data() + m_runAt * length, length);
    return true;
}

// The position is kept in m_position only when the cursor leaves the run: most steps of a long
// walk never need it.
void TIndexCursor::syncPosition()
{
    if (!m_onRunEntry)
        return;
    m_run.positionAt(m_runAt, m_position);
    m_onRunEntry = false;
}

void TIndexCursor::dropReadAhead()
{
    syncPosition();
    m_run.restart();
    m_runAt = 0;
    m_runLength = 0;
    m_haveRecord.clear();
    if (m_records.size() > kKeptMemory) {
        // A long walk is over: give its memory back.
        m_run.release();
        m_order = {};
        m_records.release();
        m_span.release();
    }
}

std::uint32_t TIndexCursor::physicalRecNo() const
{
    if (m_where != Where::At)
        return 0;
    if (m_onRunEntry)
        return m_run.entries[m_runAt].recNo;
    return m_position.onEntry ? m_position.recNo : 0;
}

void TIndexCursor::standOn(std::uint32_t n, const std::uint8_t *record)
{
    dropReadAhead();
    std::vector<std::uint8_t> key = m_index.keyOf(m_tag, record);
    m_where = Where::At;
    // The key was just inserted: its place is known (and checked again by the next step).
    if (m_index.takeLastInserted(m_tag, n, m_position) && m_position.key == key)
        return;
    m_position.key = std::move(key);
    m_position.recNo = n;
    m_index.locate(m_tag, m_position);
    m_where = Where::At;
}

void TIndexCursor::setPhysicalRecNo(std::uint32_t n)
{
    dropReadAhead();
    std::vector<std::uint8_t> record(m_table.recordLength());
    if (n == 0) {
        m_where = Where::BeforeFirst;
        return;
    }
    if (!m_table.readRecord(n, record.data())) {
        m_where = Where::AfterLast;
        return;
    }
    standOn(n, record.data());
}

std::uint32_t TIndexCursor::sequentialRecNo() const
{
    if (m_where != Where::At)
        return 0;
    if (m_onRunEntry) {
        TIndexPosition here;
        m_run.positionAt(m_runAt, here);
        return m_index.ordinalOf(m_tag, here.path);
    }
    return m_position.onEntry ? m_index.ordinalOf(m_tag, m_position.path) : 0;
}

void TIndexCursor::setSequentialRecNo(std::uint32_t n)
{
    dropReadAhead();
    if (n == 0) {
        m_where = Where::BeforeFirst;
        return;
    }
    if (!m_index.seekOrdinal(m_tag, n, m_position)) {
        m_where = Where::AfterLast;
        return;
    }
    m_where = Where::At;
}

void TIndexCursor::keyMoved(std::uint32_t n, const std::uint8_t *record)
{
    if (physicalRecNo() == n)
        standOn(n, record);
}

TIndexFile::TableInfo indexTableInfo(const TDbfFile &table)
{
    TIndexFile::TableInfo info;
    info.languageDriver = table.languageDriver();
    info.dBaseIII = table.level() == TTableLevel::dBaseIII;
    info.codePage = table.codePage();
    info.access = table.access();
    std::string name = table.path().substr(table.path().find_last_of('/') + 1);
    info.tableName = name.substr(0, name.find_last_of('.'));
    info.findField = [fields = table.fields()](const std::string &wanted) -> std::optional<TIndexField> {
        for (const TDbfFieldDef &f : fields) {
            if (f.name == wanted)
                return TIndexField{static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.width), f.letter};
        }
        return std::nullopt;
    };
    return info;
}

void createProductionIndex(const std::string &tablePath, const std::string &tagName,
                           const std::string &expression, unsigned options)
{
    TDbfFile table;
    if (!table.open(tablePath, TDbfAccess::Exclusive))
        throw EDbfError("Invalid DBF file \"" + tablePath + "\".");
    TIndexFile::TableInfo info = indexTableInfo(table);
    info.access = TDbfAccess::Exclusive;
    TIndexFile::create(indexPathOf(tablePath), info)
        ->createTag(tagName, expression, options, table.recordCount(),
                    [&table](std::uint32_t recNo, std::vector<std::uint8_t> &record) {
                        record.resize(table.recordLength());
                        if (!table.readRecord(recNo, record.data()))
                            throw EDbfError("Cannot read record " + std::to_string(recNo) + ".");
                    });
    table.close();
    // Byte 28 is written after the table closed: closing stamps the header as it was opened.
    TPagedFile file;
    file.openFile(tablePath, TDbfAccess::Exclusive);
    const std::uint8_t announced = 1;
    file.writeAt(28, &announced, 1);
    file.closeFile();
}

// ---- TProductionIndex ----------------------------------------------------------------------------

TProductionIndex::TProductionIndex(TDbfFile &table, std::unique_ptr<TIndexFile> file)
    : m_table(table), m_file(std::move(file))
{
    m_table.addIndexMaintainer(this);
}

TProductionIndex::~TProductionIndex()
{
    m_table.removeIndexMaintainer(this);
    if (m_cursor)
        m_cursor->m_registration = nullptr;
}

std::unique_ptr<TProductionIndex> TProductionIndex::open(TDbfFile &table)
{
    if (table.header().size() <= 28 || table.header()[28] == 0)
        return nullptr;
    std::unique_ptr<TIndexFile> file = TIndexFile::open(indexPathOf(table.path()), indexTableInfo(table));
    if (!file)
        return nullptr;
    return std::unique_ptr<TProductionIndex>(new TProductionIndex(table, std::move(file)));
}

void TProductionIndex::reconcile(std::vector<TDbfIndexDef> &definitions) const
{
    for (int i = 0; i < m_file->tagCount(); ++i) {
        const TIndexTag &tag = m_file->tag(i);
        bool named = false;
        for (const TDbfIndexDef &d : definitions) {
            std::string name = d.IndexFile.substr(0, mdx::kMaxTagName);
            for (char &c : name)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            named = named || name == tag.name;
        }
        if (named)
            continue;
        TDbfIndexDef definition;
        definition.IndexFile = tag.name;
        definition.SortField = tag.expression;
        definition.Options = ixExpression;
        if (tag.descending())
            definition.Options |= ixDescending;
        if (tag.uniqueness == 33)
            definition.Options |= ixPrimary;
        else if (tag.uniqueness == 1)
            definition.Options |= ixUnique;
        definitions.push_back(definition);
    }
}

std::unique_ptr<TVirtualCursor> TProductionIndex::cursorFor(const std::string &indexName)
{
    // A name with an extension names a separate index file, which this table does not have.
    if (indexName.find('.') != std::string::npos)
        return nullptr;
    const int tag = m_file->findTag(indexName);
    if (tag < 0)
        return nullptr;
    m_file->selectTag(tag);
    auto cursor = std::make_unique<TIndexCursor>(*m_file, tag, m_table);
    m_cursor = cursor.get();
    cursor->m_registration = &m_cursor;
    return cursor;
}

// Every change of the table passes here, key or not: the cursor's records read ahead are stale.
void TProductionIndex::dropReadAhead()
{
    if (m_cursor)
        m_cursor->dropReadAhead();
}

// A damaged index stops the change with its error rather than refusing silently: the user must
// not believe a record was saved when it was not.
bool TProductionIndex::insertKey(std::uint32_t recNo, const std::uint8_t *record)
{
    dropReadAhead();
    m_file->recordAppended(recNo, record);
    return true;
}

void TProductionIndex::deleteKey(std::uint32_t recNo, const std::uint8_t *record)
{
    dropReadAhead();
    m_file->recordDeleted(recNo, record);
}

void TProductionIndex::updateKey(std::uint32_t recNo, const std::uint8_t *oldRecord, const std::uint8_t *newRecord)
{
    dropReadAhead();
    m_file->recordRewritten(recNo, oldRecord, newRecord);
    if (m_cursor && m_file->live())
        m_cursor->keyMoved(recNo, newRecord);
}
