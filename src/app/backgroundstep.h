// Start-up steps begun on a helper thread while the main thread builds the first frame. finish()
// makes sure each has run: one the helper has not begun runs at once on the calling thread, so a
// helper starved of processor time on a busy machine never holds the window up; one it has begun
// is waited for. The destructor joins the helper.
//
//     BackgroundStep fonts({readFontConfiguration});   // before the application object
//     Application app(argc, argv);
//     fonts.finish();                                  // before the first widget shows text
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class BackgroundStep
{
public:
    explicit BackgroundStep(const std::vector<std::function<void()>> &steps);
    ~BackgroundStep();
    BackgroundStep(const BackgroundStep &) = delete;
    BackgroundStep &operator=(const BackgroundStep &) = delete;

    // A step that failed on the helper runs again here, and its exception reaches the caller.
    void finish();

private:
    struct Step
    {
        std::function<void()> run;
        std::once_flag once;
    };
    std::vector<std::unique_ptr<Step>> m_steps;
    std::thread m_thread;
};

// Reads the font configuration of the system; the font library does it once, thread-safely, and
// Qt then finds it ready.
void readFontConfiguration();
