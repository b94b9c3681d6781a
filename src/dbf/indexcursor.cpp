#include "indexcursor.h"

#include <cctype>

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
        const bool found = m_index.seekEdge(m_tag, forward ? TIndexFile::Edge::First : TIndexFile::Edge::Last,
                                            m_position.path);
        if (!found) {
            m_where = forward ? Where::AfterLast : Where::BeforeFirst;
            return false;
        }
        m_position.recNo = m_index.entryAt(m_tag, m_position.path, &m_position.key);
        m_position.onEntry = true;
        m_where = Where::At;
        return true;
    }
    if (m_index.advance(m_tag, m_position, forward))
        return true;
    m_where = forward ? Where::AfterLast : Where::BeforeFirst;
    return false;
}

std::uint32_t TIndexCursor::physicalRecNo() const
{
    return m_where == Where::At && m_position.onEntry ? m_position.recNo : 0;
}

void TIndexCursor::standOn(std::uint32_t n, const std::uint8_t *record)
{
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
    if (m_where != Where::At || !m_position.onEntry)
        return 0;
    return m_index.ordinalOf(m_tag, m_position.path);
}

void TIndexCursor::setSequentialRecNo(std::uint32_t n)
{
    if (n == 0) {
        m_where = Where::BeforeFirst;
        return;
    }
    if (!m_index.seekOrdinal(m_tag, n, m_position.path)) {
        m_where = Where::AfterLast;
        return;
    }
    m_position.recNo = m_index.entryAt(m_tag, m_position.path, &m_position.key);
    m_position.onEntry = true;
    m_where = Where::At;
}

void TIndexCursor::keyMoved(std::uint32_t n, const std::uint8_t *record)
{
    if (m_where == Where::At && m_position.recNo == n)
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
        throw EDbfError("Invalid DBF file.");
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

// A damaged index stops the change with its error rather than refusing silently: the user must
// not believe a record was saved when it was not.
bool TProductionIndex::insertKey(std::uint32_t recNo, const std::uint8_t *record)
{
    m_file->recordAppended(recNo, record);
    return true;
}

void TProductionIndex::deleteKey(std::uint32_t recNo, const std::uint8_t *record)
{
    m_file->recordDeleted(recNo, record);
}

void TProductionIndex::updateKey(std::uint32_t recNo, const std::uint8_t *oldRecord, const std::uint8_t *newRecord)
{
    m_file->recordRewritten(recNo, oldRecord, newRecord);
    if (m_cursor && m_file->live())
        m_cursor->keyMoved(recNo, newRecord);
}
