#include "backgroundstep.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>

#include <fontconfig/fontconfig.h>

#include <system_error>

BackgroundStep::BackgroundStep(const std::function<void()> &step)
{
    try {
        m_thread = std::thread(step);
    } catch (const std::system_error &) {
        step();
    }
}

BackgroundStep::~BackgroundStep()
{
    wait();
}

void BackgroundStep::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

void readFontConfiguration()
{
    FcInit();
}

void fillFontDatabase(const QList<QFont> &fonts)
{
    QFontDatabase::families();
    for (const QFont &font : fonts)
        QFontMetrics(font).height();
}
