// Fields of a dataset: values of the current record buffer.
#include "dbf.h"

#include "dbffile.h"

#include <algorithm>

TDbfField::TDbfField(TDbf &owner, int index) : m_owner(owner), m_index(index)
{
    const TDbfFieldDef &def = owner.m_file->fields()[static_cast<std::size_t>(index)];
    m_name = def.name;
    m_letter = def.letter;
    m_type = def.type;
    m_size = def.width;
    m_decimals = def.decimals;
}

bool TDbfField::isBlob() const
{
    return m_letter == 'M' || m_letter == 'B' || m_letter == 'G';
}

std::string TDbfField::asString() const
{
    m_owner.checkActive();
    if (isBlob()) {
        const TDbf::MemoEdit *pending = m_owner.pendingMemo(m_index);
        const std::string bytes = pending ? pending->bytes : m_owner.storedMemo(m_index);
        return m_owner.m_file->tableCodePage().toUtf8(bytes);
    }
    if (!m_owner.m_hasRecord && m_owner.m_state != TDataSetState::dsInsert)
        return {};
    return m_owner.m_file->fieldText(m_owner.m_buffer.data(), m_index);
}

void TDbfField::setAsString(const std::string &utf8)
{
    m_owner.checkActive();
    m_owner.checkEditing();
    if (isBlob()) {
        storeMemo(m_owner.m_file->tableCodePage().fromUtf8(utf8));
        return;
    }
    m_owner.m_file->setFieldText(m_owner.m_buffer.data(), m_index, utf8);
    m_owner.m_modified = true;
    m_owner.notify(TDataEvent::FieldChange, this);
}

bool TDbfField::isNull() const
{
    if (isBlob())
        return memoBytes().empty();
    return asString().empty();
}

void TDbfField::clear()
{
    setAsString({});
}

bool TDbfField::canEncode(const std::string &utf8) const
{
    return m_owner.canEncode(utf8);
}

std::string TDbfField::memoBytes(bool *whole) const
{
    std::string bytes;
    memoBytes(bytes, whole);
    return bytes;
}

void TDbfField::memoBytes(std::string &bytes, bool *whole) const
{
    if (whole)
        *whole = true;
    m_owner.checkActive();
    bytes.clear();
    if (!isBlob())
        return;
    if (const TDbf::MemoEdit *pending = m_owner.pendingMemo(m_index))
        bytes.assign(pending->bytes);
    else
        m_owner.storedMemo(m_index, bytes, whole);
    const std::string translated = m_owner.m_file->memoTranslation().toAnsi(bytes);
    bytes.assign(translated.data(), translated.size()); // keeps the room of `bytes`
}

void TDbfField::setMemoBytes(const std::string &bytes)
{
    m_owner.checkActive();
    m_owner.checkEditing();
    if (isBlob())
        storeMemo(m_owner.m_file->memoTranslation().fromAnsi(bytes));
}

void TDbfField::storeMemo(std::string stored)
{
    auto &edits = m_owner.m_memoEdits;
    auto it = std::find_if(edits.begin(), edits.end(),
                           [this](const TDbf::MemoEdit &m) { return m.field == m_index; });
    if (it == edits.end())
        edits.push_back({m_index, std::move(stored)});
    else
        it->bytes = std::move(stored);
    m_owner.m_modified = true;
    m_owner.notify(TDataEvent::FieldChange, this);
}

std::uint32_t TDbfField::memoBlock() const
{
    m_owner.checkActive();
    if (!isBlob() || (!m_owner.m_hasRecord && m_owner.m_state != TDataSetState::dsInsert))
        return 0;
    return m_owner.m_file->memoBlock(m_owner.m_buffer.data(), m_index);
}
