#include "backgroundstep.h"

#include <fontconfig/fontconfig.h>

#include <system_error>

BackgroundStep::BackgroundStep(const std::vector<std::function<void()>> &steps)
{
    for (const std::function<void()> &run : steps) {
        m_steps.push_back(std::make_unique<Step>());
        m_steps.back()->run = run;
    }
    try {
        m_thread = std::thread([this] {
            for (const std::unique_ptr<Step> &step : m_steps) {
                try {
                    std::call_once(step->once, step->run);
                } catch (...) {
                    // finish() runs it again where its error can be shown.
                }
            }
        });
    } catch (const std::system_error &) {
        // No thread to spare: finish() does the work.
    }
}

BackgroundStep::~BackgroundStep()
{
    if (m_thread.joinable())
        m_thread.join();
}

void BackgroundStep::finish()
{
    for (const std::unique_ptr<Step> &step : m_steps)
        std::call_once(step->once, step->run);
}

void readFontConfiguration()
{
    FcInit();
}
