#include "dbfcursor.h"

#include "dbffile.h"

void TDbfCursor::last()
{
    m_position = m_file.freshUnitCount() + 1;
}

bool TDbfCursor::next()
{
    std::uint32_t count = m_file.recordCount();
    if (m_position >= count)
        count = m_file.freshUnitCount();
    m_position = m_position > count ? count + 1 : m_position + 1;
    return m_position <= count;
}

bool TDbfCursor::prior()
{
    m_position = m_position < 1 ? 0 : m_position - 1;
    return m_position > 0;
}
