// The dataset: properties, open and close, fields, notifications.
#include "dbf.h"

#include "dbfcursor.h"
#include "dbffile.h"
#include "indexcursor.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <unistd.h>

namespace {

const char *const kClosed = "Impossible d'effectuer cette opération sur un ensemble de données fermé";
const char *const kOpen = "Impossible d'effectuer cette opération sur un ensemble de données ouvert";
const char *const kReadOnly = "Impossible de modifier un ensemble de données en lecture seule";
const char *const kNotEditing = "L'ensemble de données n'est pas en mode Edition ou Insertion";

std::string executableDirectory()
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "./";
    std::string path(buf, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

bool sameNameIgnoringCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

} // namespace

TDbf::TDbf(std::string name) : m_name(std::move(name)), m_filePath(executableDirectory()) {}

TDbf::~TDbf()
{
    // Whoever listened may already be gone: close without telling anybody.
    m_listeners.clear();
    for (TDataSetNotifyEvent *e : {&BeforeOpen, &AfterOpen, &BeforeClose, &AfterClose, &BeforeInsert,
                                   &AfterInsert, &BeforeEdit, &AfterEdit, &BeforePost, &AfterPost,
                                   &BeforeCancel, &AfterCancel, &BeforeDelete, &AfterDelete,
                                   &BeforeScroll, &AfterScroll})
        *e = nullptr;
    try {
        close();
    } catch (...) {
        // A destructor must not throw; close() already leaves the files closed.
    }
}

void TDbf::setFilePath(const std::string &path)
{
    if (active())
        raise(kOpen);
    std::string p = path;
    if (p.empty() || p[0] != '/')
        p = executableDirectory() + p;
    if (p.back() != '/')
        p += '/';
    m_filePath = p;
}

void TDbf::setTableName(const std::string &name)
{
    if (active())
        raise(kOpen);
    const std::size_t slash = name.rfind('/');
    if (slash == std::string::npos) {
        m_tableName = name;
        return;
    }
    setFilePath(name.substr(0, slash + 1));
    m_tableName = name.substr(slash + 1);
}

void TDbf::setExclusive(bool on)
{
    if (active())
        raise(kOpen);
    m_exclusive = on;
}

void TDbf::setReadOnly(bool on)
{
    if (active())
        raise(kOpen);
    m_readOnly = on;
}

void TDbf::setShowDeleted(bool on)
{
    m_showDeleted = on;
}

void TDbf::setIndexName(const std::string &name)
{
    m_indexName = name;
    if (!active())
        return;
    // A new order takes effect at once; the current record stays current.
    checkBrowseMode();
    std::unique_ptr<TVirtualCursor> cursor = m_productionIndex ? m_productionIndex->cursorFor(name) : nullptr;
    m_cursor = cursor ? std::move(cursor) : std::make_unique<TDbfCursor>(*m_file);
    if (m_hasRecord)
        m_cursor->setPhysicalRecNo(m_bufferRecNo);
    else
        m_cursor->first();
    resync();
    notify(TDataEvent::DataSetChange);
}

void TDbf::open()
{
    if (active())
        return;
    fire(BeforeOpen);
    const TDbfAccess access = m_readOnly    ? TDbfAccess::ReadOnly
                              : m_exclusive ? TDbfAccess::Exclusive
                                            : TDbfAccess::Shared;
    auto file = std::make_unique<TDbfFile>();
    try {
        if (!file->open(physicalFileName(), access))
            return; // an unusable header leaves the dataset closed without a word
    } catch (const EFileOpenError &e) {
        raise("Impossible d'ouvrir le fichier " + e.path());
    }
    m_file = std::move(file);
    m_fields.clear();
    for (int i = 0; i < static_cast<int>(m_file->fields().size()); ++i)
        m_fields.emplace_back(new TDbfField(*this, i));
    m_readOnlyCodePage = !m_file->codePageSupported();
    m_buffer.assign(m_file->recordLength(), ' ');
    m_oldBuffer = m_buffer;
    m_memoEdits.clear();
    m_modified = false;
    m_locked = false;
    try {
        openIndexes();
    } catch (...) {
        m_cursor.reset();
        m_productionIndex.reset();
        m_file.reset();
        throw;
    }
    if (!m_cursor)
        m_cursor = std::make_unique<TDbfCursor>(*m_file);
    m_state = TDataSetState::dsBrowse;
    m_cursor->first();
    m_hasRecord = fetch(1);
    m_bof = true;
    m_eof = !m_hasRecord;
    notify(TDataEvent::UpdateState);
    notify(TDataEvent::DataSetChange);
    fire(AfterOpen);
}

void TDbf::openIndexes()
{
    // Index seam. Definitions that name no file of their own stand for tags of the production
    // index file and are replaced by the tags it holds; the index module adds those and installs
    // its cursor in m_cursor when IndexName selects a tag. Without it, the table is walked in
    // stored order and nothing is created.
    m_indexes.erase(std::remove_if(m_indexes.begin(), m_indexes.end(),
                                   [](const TDbfIndexDef &d) {
                                       return d.IndexFile.find('.') == std::string::npos;
                                   }),
                    m_indexes.end());
    // The tags of the production index file stand in for them; nothing is ever created.
    m_productionIndex = TProductionIndex::open(*m_file);
    if (!m_productionIndex)
        return;
    m_productionIndex->reconcile(m_indexes);
    m_cursor = m_productionIndex->cursorFor(m_indexName);
}

void TDbf::close()
{
    if (!active())
        return;
    fire(BeforeClose);
    if (m_batchDepth > 0) {
        try {
            finishBatch();
        } catch (const std::exception &) {
            // Closing goes on; the records were written at their posts.
        }
    }
    releaseLock();
    m_memoEdits.clear();
    m_cursor.reset();
    m_productionIndex.reset();
    m_file->close();
    m_file.reset();
    m_state = TDataSetState::dsInactive;
    m_hasRecord = false;
    m_bof = m_eof = true;
    m_modified = false;
    notify(TDataEvent::UpdateState);
    notify(TDataEvent::DataSetChange);
    fire(AfterClose);
}

bool TDbf::isEmpty() const
{
    return m_state != TDataSetState::dsInsert && !m_hasRecord;
}

bool TDbf::canModify() const
{
    return active() && !m_readOnly && !m_readOnlyCodePage;
}

void TDbf::setModified()
{
    m_modified = true;
}

TDbfField &TDbf::field(int index)
{
    checkActive();
    if (index < 0 || index >= fieldCount())
        raise("Index de liste hors limites (" + std::to_string(index) + ")");
    return *m_fields[static_cast<std::size_t>(index)];
}

TDbfField *TDbf::findField(const std::string &name)
{
    for (auto &f : m_fields)
        if (sameNameIgnoringCase(f->fieldName(), name))
            return f.get();
    return nullptr;
}

TDbfField &TDbf::fieldByName(const std::string &name)
{
    TDbfField *f = findField(name);
    if (!f)
        raise("Champ '" + name + "' non trouvé");
    return *f;
}

void TDbf::disableControls()
{
    ++m_disableCount;
}

void TDbf::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount == 0)
        notify(TDataEvent::DataSetChange);
}

int TDbf::addDataListener(TDataListener listener)
{
    m_listeners.emplace_back(m_nextListenerId, std::move(listener));
    return m_nextListenerId++;
}

void TDbf::removeDataListener(int id)
{
    m_listeners.erase(std::remove_if(m_listeners.begin(), m_listeners.end(),
                                     [id](const auto &l) { return l.first == id; }),
                      m_listeners.end());
}

int TDbf::codePage() const
{
    return m_file ? m_file->codePage() : 0;
}

int TDbf::ansiCodePage()
{
    return codepage::systemAnsi();
}

bool TDbf::canEncode(const std::string &utf8) const
{
    return m_file && m_file->tableCodePage().canEncode(utf8);
}

void TDbf::checkActive() const
{
    if (!active())
        raise(kClosed);
}

void TDbf::checkCanModify() const
{
    checkActive();
    if (!canModify())
        raise(kReadOnly);
}

void TDbf::checkEditing() const
{
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert)
        raise(kNotEditing);
}

void TDbf::raise(const std::string &message) const
{
    throw DataAccessError(m_name, message);
}

void TDbf::fire(const TDataSetNotifyEvent &event)
{
    if (event)
        event(*this);
}

void TDbf::notify(TDataEvent event, TDbfField *field)
{
    if (m_disableCount > 0)
        return;
    const auto listeners = m_listeners; // a listener may remove itself
    for (const auto &l : listeners)
        l.second(event, field);
}

void TDbf::setState(TDataSetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    notify(TDataEvent::UpdateState);
}
