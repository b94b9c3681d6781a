// The dataset: the deleted records a table still holds, and bringing one back.
#include "dbf.h"

#include "dbfcursor.h"
#include "dbffile.h"
#include "indexcursor.h"

std::vector<std::uint32_t> TDbf::deletedRecords() const
{
    checkActive();
    std::vector<std::uint32_t> found;
    std::vector<std::uint8_t> record(m_file->recordLength());
    const std::uint32_t count = m_file->recordCount();
    for (std::uint32_t n = 1; n <= count; ++n) {
        if (m_file->readRecord(n, record.data()) && record[0] == TDbfFile::kDeleted)
            found.push_back(n);
    }
    return found;
}

std::string TDbf::storedFieldText(std::uint32_t recNo, const std::string &fieldName) const
{
    checkActive();
    const TDbfField *f = const_cast<TDbf *>(this)->findField(fieldName);
    if (!f)
        raise("Champ '" + fieldName + "' non trouvé");
    std::vector<std::uint8_t> record(m_file->recordLength());
    if (!m_file->readRecord(recNo, record.data()))
        return {};
    if (!f->isBlob())
        return m_file->fieldText(record.data(), f->index());
    const std::uint32_t block = m_file->memoBlock(record.data(), f->index());
    if (block == 0 || !m_file->memoFile())
        return {};
    return m_file->memoTranslation().toAnsi(m_file->memoFile()->read(block));
}

bool TDbf::undelete(std::uint32_t recNo)
{
    checkCanModify();
    checkBrowseMode();
    if (!m_file->lockRecord(recNo, false))
        throw EDbfError("Record locked.");
    struct Unlock
    {
        TDbfFile &file;
        std::uint32_t n;
        ~Unlock() { file.unlockRecord(n); }
    } unlock{*m_file, recNo};
    std::vector<std::uint8_t> old(m_file->recordLength());
    if (!m_file->readRecord(recNo, old.data()) || old[0] != TDbfFile::kDeleted)
        return false; // gone, or brought back by someone else meanwhile
    std::vector<std::uint8_t> record = old;
    record[0] = TDbfFile::kLive;
    m_file->rewriteRecord(recNo, old.data(), record.data());
    fire(BeforeScroll);
    m_cursor->setPhysicalRecNo(recNo);
    resync();
    notify(TDataEvent::DataSetChange);
    fire(AfterScroll);
    return true;
}
