#include "pagemode.h"

void PageMode::setMode(int mode)
{
    if (m_mode == mode)
        return;
    m_mode = mode;
    emit modeChanged(mode);
}
