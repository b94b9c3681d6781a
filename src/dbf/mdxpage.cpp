#include "mdxpage.h"

void TMdxPage::openGap(std::uint32_t i)
{
    const std::uint32_t n = keyCount();
    const bool branch = isBranch();
    const std::uint32_t extra = branch ? number(n) : 0;
    std::memmove(entry(i + 1), entry(i), static_cast<std::size_t>(n - i) * m_recordLength);
    setKeyCount(n + 1);
    if (branch)
        setNumber(n + 1, extra);
    else if (n + 1 < m_maxKeys)
        setNumber(n + 1, 0);
}

void TMdxPage::closeGap(std::uint32_t i)
{
    const std::uint32_t n = keyCount();
    const bool branch = isBranch();
    const std::uint32_t extra = branch ? number(n) : 0;
    std::memmove(entry(i), entry(i + 1), static_cast<std::size_t>(n - 1 - i) * m_recordLength);
    std::memset(entry(n - 1), 0, m_recordLength);
    setKeyCount(n - 1);
    setNumber(n - 1, extra);
}
