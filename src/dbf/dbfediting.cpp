// The dataset: insert, edit, post, cancel and delete.
//
// Record locks (shared tables only): edit and delete lock the current record without waiting and
// keep the lock until post or cancel; appending locks the new slot itself (TDbfFile).
#include "dbf.h"

#include "dbfcursor.h"
#include "dbffile.h"
#include "indexcursor.h"

void TDbf::checkBrowseMode()
{
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert)
        return;
    updateRecord();
    if (m_modified)
        post();
    else
        cancel();
}

void TDbf::updateRecord()
{
    checkEditing();
    notify(TDataEvent::UpdateRecord);
}

void TDbf::insert()
{
    checkCanModify();
    checkBrowseMode();
    fire(BeforeInsert);
    fire(BeforeScroll);
    m_hadRecordBeforeInsert = m_hasRecord;
    m_file->blankRecord(m_buffer.data());
    m_oldBuffer = m_buffer;
    m_memoEdits.clear();
    m_modified = false;
    setState(TDataSetState::dsInsert);
    notify(TDataEvent::DataSetChange);
    fire(AfterInsert);
    fire(AfterScroll);
}

void TDbf::edit()
{
    checkActive();
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert)
        return;
    checkCanModify();
    if (!m_hasRecord) {
        insert();
        return;
    }
    fire(BeforeEdit);
    if (!m_file->lockRecord(m_bufferRecNo, false))
        throw EDbfError("Record locked.");
    m_locked = true;
    std::vector<std::uint8_t> fresh(m_buffer.size());
    if (m_file->readRecord(m_bufferRecNo, fresh.data())) {
        // Posting into a record someone deleted meanwhile would write where nobody looks.
        if (fresh[0] == TDbfFile::kDeleted && !m_showDeleted) {
            rollBackEdit(); // moves on to a record that is still there
            notify(TDataEvent::DataSetChange);
            throw EDbfError("The record was deleted by another user.");
        }
        m_buffer.swap(fresh);
    }
    m_oldBuffer = m_buffer;
    m_memoEdits.clear();
    m_modified = false;
    setState(TDataSetState::dsEdit);
    notify(TDataEvent::RecordChange);
    fire(AfterEdit);
}

void TDbf::releaseLock()
{
    if (m_locked && m_file)
        m_file->unlockRecord(m_bufferRecNo);
    m_locked = false;
}

const TDbf::MemoEdit *TDbf::pendingMemo(int fieldIndex) const
{
    for (const MemoEdit &m : m_memoEdits)
        if (m.field == fieldIndex)
            return &m;
    return nullptr;
}

std::string TDbf::storedMemo(int fieldIndex, bool *whole) const
{
    std::string bytes;
    storedMemo(fieldIndex, bytes, whole);
    return bytes;
}

void TDbf::storedMemo(int fieldIndex, std::string &bytes, bool *whole) const
{
    if (whole)
        *whole = true;
    bytes.clear();
    const TDbtFile *memo = m_file->memoFile();
    if (!memo || (!m_hasRecord && m_state != TDataSetState::dsInsert))
        return;
    memo->read(m_file->memoBlock(m_buffer.data(), fieldIndex), bytes, whole);
}

// Writes the memo values set since edit or insert into the memo file and stores their start
// blocks in the record buffer. A memo is always written to new blocks, never over the stored one:
// until the record itself is rewritten it still names its old memo, so a post that fails or a
// process killed half-way leaves the old text whole. The old blocks are simply no longer used, as
// when a memo grows.
void TDbf::writePendingMemos()
{
    TDbtFile *memo = m_file->memoFile();
    for (const MemoEdit &m : m_memoEdits)
        m_file->setMemoBlock(m_buffer.data(), m.field, memo->write(m.bytes));
    m_memoEdits.clear();
}

void TDbf::post()
{
    checkActive();
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert)
        return;
    updateRecord();
    fire(BeforePost);
    m_lastAppended = 0;
    if (m_file->memoFile())
        writePendingMemos();
    std::uint32_t standing = 0; // the new record, current as written
    if (m_state == TDataSetState::dsInsert) {
        const std::uint32_t n = m_file->appendRecord(m_buffer.data());
        m_lastAppended = n;
        if (n != 0) {
            m_cursor->recordAppended(n);
            if (!m_hadRecordBeforeInsert || m_cursor->followsAppend()) {
                m_cursor->standOnAppended(n, m_buffer.data());
                standing = n;
            }
        }
    } else {
        m_file->rewriteRecord(m_bufferRecNo, m_oldBuffer.data(), m_buffer.data());
        releaseLock();
    }
    m_modified = false;
    setState(TDataSetState::dsBrowse);
    if (standing != 0 && (m_showDeleted || m_buffer[0] != TDbfFile::kDeleted)) {
        m_bufferRecNo = standing;
        m_hasRecord = true;
        m_bof = m_eof = false;
    } else {
        resync();
    }
    notify(TDataEvent::DataSetChange);
    fire(AfterPost);
}

void TDbf::cancel()
{
    checkActive();
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert)
        return;
    const bool wasInsert = m_state == TDataSetState::dsInsert;
    fire(BeforeCancel);
    if (wasInsert)
        fire(BeforeScroll);
    rollBackEdit();
    notify(TDataEvent::DataSetChange);
    fire(AfterCancel);
    if (wasInsert)
        fire(AfterScroll);
}

// Drops the pending change: lock released, buffer re-read at the cursor, browse state.
void TDbf::rollBackEdit()
{
    releaseLock();
    m_memoEdits.clear();
    m_modified = false;
    setState(TDataSetState::dsBrowse);
    try {
        if (m_hasRecord)
            m_cursor->setPhysicalRecNo(m_bufferRecNo);
        resync();
    } catch (const EDbfError &) {
        // A damaged index must not keep the table in edit: show the record as it is stored, and
        // let the next move report the damage.
        std::vector<std::uint8_t> stored(m_buffer.size());
        if (m_hasRecord && m_file->readRecord(m_bufferRecNo, stored.data()))
            m_buffer.swap(stored);
    }
}

void TDbf::deleteRecord()
{
    checkActive();
    if (m_state == TDataSetState::dsInsert) {
        cancel();
        return;
    }
    checkCanModify();
    if (!m_hasRecord)
        raise("Impossible d'effectuer cette opération sur un ensemble de données vide");
    if (m_state == TDataSetState::dsEdit)
        updateRecord(); // controls finish what they were typing
    fire(BeforeDelete); // a refusal throws SilentAbort: nothing has been written
    fire(BeforeScroll);
    edit();
    try {
        m_buffer[0] = TDbfFile::kDeleted;
        m_modified = true;
        post();
    } catch (...) {
        if (m_state == TDataSetState::dsEdit)
            rollBackEdit();
        throw;
    }
    setState(TDataSetState::dsBrowse);
    notify(TDataEvent::DataSetChange);
    fire(AfterDelete);
    fire(AfterScroll);
}

void TDbf::beginBatch()
{
    checkCanModify();
    if (m_batchDepth++ > 0)
        return;
    try {
        m_file->beginBatch();
        if (m_productionIndex && m_productionIndex->file().live())
            m_productionIndex->file().beginBatch();
    } catch (...) {
        m_batchDepth = 0;
        m_file->endBatch();
        throw;
    }
}

void TDbf::endBatch()
{
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return;
    try {
        checkBrowseMode();
    } catch (...) {
        finishBatch();
        throw;
    }
    finishBatch();
}

void TDbf::finishBatch()
{
    m_batchDepth = 0;
    std::exception_ptr failure;
    if (m_productionIndex && m_productionIndex->file().live()) {
        try {
            m_productionIndex->file().endBatch();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    try {
        m_file->endBatch();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    if (failure)
        std::rethrow_exception(failure);
}
