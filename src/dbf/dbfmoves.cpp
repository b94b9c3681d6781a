// The dataset: moving the current record, bookmarks, record numbers, locate.
#include "dbf.h"

#include "dbfcursor.h"
#include "dbffile.h"

#include <cctype>

namespace {

bool equalIgnoringAsciiCase(const std::string &a, const std::string &b, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y && !(x < 128 && y < 128 && std::tolower(x) == std::tolower(y)))
            return false;
    }
    return true;
}

} // namespace

bool TDbf::acceptable(std::uint32_t n, std::vector<std::uint8_t> &into) const
{
    into.resize(m_file->recordLength());
    if (!m_cursor->takeReadAhead(n, into.data()) && !m_file->readRecord(n, into.data()))
        return false;
    // A slot without a record's flag is one another process is still appending (the flag goes in
    // last): no record yet. One whose appender died is made a deleted record at the next open.
    if (into[0] == TDbfFile::kDeleted)
        return m_showDeleted;
    return into[0] == TDbfFile::kLive;
}

// Steps the cursor (direction +1, -1, or 0 to stay) until it stands on an acceptable record and
// makes that record current. On failure the current record buffer is left as it was and the
// cursor stands off the table.
bool TDbf::fetch(int direction)
{
    // The scratch buffer swaps with the current one, so a walk allocates nothing per record.
    std::vector<std::uint8_t> &record = m_fetchBuffer;
    for (;;) {
        if (direction > 0 && !m_cursor->next())
            return false;
        if (direction < 0 && !m_cursor->prior())
            return false;
        const std::uint32_t n = m_cursor->physicalRecNo();
        if (acceptable(n, record)) {
            m_buffer.swap(record);
            m_bufferRecNo = n;
            m_hasRecord = true;
            return true;
        }
        if (direction == 0)
            return false;
    }
}

// Puts the cursor back on the current record after a move that found nothing.
void TDbf::restoreCursor()
{
    if (m_hasRecord)
        m_cursor->setPhysicalRecNo(m_bufferRecNo);
}

// Re-reads the record at the cursor as after a post: that record, else the next acceptable one,
// else the prior one, else no current record.
void TDbf::resync()
{
    if (fetch(0) || fetch(1) || fetch(-1)) {
        m_bof = m_eof = false;
        return;
    }
    m_hasRecord = false;
    m_bufferRecNo = 0;
    m_bof = m_eof = true;
}

void TDbf::first()
{
    checkActive();
    checkBrowseMode();
    fire(BeforeScroll);
    m_cursor->first();
    m_hasRecord = fetch(1);
    if (!m_hasRecord)
        m_bufferRecNo = 0;
    m_bof = true;
    m_eof = !m_hasRecord;
    notify(TDataEvent::DataSetScroll);
    fire(AfterScroll);
}

void TDbf::last()
{
    checkActive();
    checkBrowseMode();
    fire(BeforeScroll);
    m_cursor->last();
    m_hasRecord = fetch(-1);
    if (!m_hasRecord)
        m_bufferRecNo = 0;
    m_eof = true;
    m_bof = !m_hasRecord;
    notify(TDataEvent::DataSetScroll);
    fire(AfterScroll);
}

void TDbf::next()
{
    checkActive();
    checkBrowseMode();
    fire(BeforeScroll);
    if (m_eof || !m_hasRecord) {
        m_eof = true;
        return;
    }
    if (fetch(1)) {
        m_bof = false;
    } else {
        m_eof = true;
        restoreCursor();
    }
    notify(TDataEvent::DataSetScroll);
    fire(AfterScroll);
}

void TDbf::prior()
{
    checkActive();
    checkBrowseMode();
    fire(BeforeScroll);
    if (m_bof || !m_hasRecord) {
        m_bof = true;
        return;
    }
    if (fetch(-1)) {
        m_eof = false;
    } else {
        m_bof = true;
        restoreCursor();
    }
    notify(TDataEvent::DataSetScroll);
    fire(AfterScroll);
}

TBookmark TDbf::getBookmark() const
{
    if (!active() || !m_hasRecord || m_state == TDataSetState::dsInsert)
        return std::nullopt;
    return m_bufferRecNo;
}

void TDbf::gotoBookmark(const TBookmark &bookmark)
{
    checkActive();
    checkBrowseMode();
    fire(BeforeScroll);
    if (bookmark) {
        m_cursor->setPhysicalRecNo(*bookmark);
        if (fetch(0)) {
            m_bof = m_eof = false;
            notify(TDataEvent::DataSetScroll);
            fire(AfterScroll);
            return;
        }
    }
    restoreCursor();
    raise("Enregistrement non trouvé");
}

int TDbf::compareBookmarks(const TBookmark &a, const TBookmark &b)
{
    if (!a || !b)
        return (a ? 0 : 1) - (b ? 0 : 1); // an absent bookmark sorts after a present one
    return *a < *b ? -1 : *a > *b ? 1 : 0;
}

int TDbf::recNo() const
{
    if (m_state == TDataSetState::dsInsert)
        return -1;
    return m_hasRecord ? static_cast<int>(m_bufferRecNo) : 0;
}

void TDbf::setRecNo(int physical)
{
    checkActive();
    checkBrowseMode();
    m_cursor->setPhysicalRecNo(physical < 0 ? 0 : static_cast<std::uint32_t>(physical));
    resync();
    notify(TDataEvent::DataSetScroll);
}

int TDbf::sequentialRecNo() const
{
    if (m_state == TDataSetState::dsInsert)
        return -1;
    if (!m_hasRecord || !m_cursor)
        return 0;
    return static_cast<int>(m_cursor->sequentialRecNo());
}

void TDbf::setSequentialRecNo(int number)
{
    checkActive();
    checkBrowseMode();
    m_cursor->setSequentialRecNo(number < 0 ? 0 : static_cast<std::uint32_t>(number));
    resync();
    notify(TDataEvent::DataSetScroll);
}

int TDbf::visibleRecordCount()
{
    checkActive();
    std::vector<std::uint8_t> record;
    int count = 0;
    m_cursor->first();
    while (m_cursor->next())
        if (acceptable(m_cursor->physicalRecNo(), record))
            ++count;
    if (m_hasRecord)
        m_cursor->setPhysicalRecNo(m_bufferRecNo);
    else
        m_cursor->first();
    return count;
}

bool TDbf::locate(const std::string &fieldName, const std::string &value, bool caseInsensitive,
                  bool partialKey)
{
    checkActive();
    fire(BeforeScroll);
    checkBrowseMode();
    TDbfField &f = fieldByName(fieldName);
    const TBookmark start = getBookmark();
    auto matches = [&] {
        const std::string v = f.asString();
        if (partialKey ? v.size() < value.size() : v.size() != value.size())
            return false;
        return caseInsensitive ? equalIgnoringAsciiCase(v, value, value.size())
                               : v.compare(0, value.size(), value) == 0;
    };
    bool found = false;
    disableControls();
    try {
        for (first(); !m_eof; next()) {
            if (matches()) {
                found = true;
                break;
            }
        }
    } catch (...) {
        enableControls();
        throw;
    }
    enableControls();
    if (found) {
        fire(AfterScroll);
        return true;
    }
    if (start)
        gotoBookmark(start);
    return false;
}
