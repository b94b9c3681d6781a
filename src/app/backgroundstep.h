// A start-up step run on a helper thread while the main thread builds the first frame; wait()
// (or the destructor) joins it. Without a thread to spare, the step runs at once.
//
//     BackgroundStep fonts(readFontConfiguration);   // before the application object
//     Application app(argc, argv);
//     fonts.wait();                                  // before the first widget shows text
#pragma once

#include <QFont>
#include <QList>

#include <functional>
#include <thread>

class BackgroundStep
{
public:
    explicit BackgroundStep(const std::function<void()> &step);
    ~BackgroundStep();
    BackgroundStep(const BackgroundStep &) = delete;
    BackgroundStep &operator=(const BackgroundStep &) = delete;

    void wait();

private:
    std::thread m_thread;
};

// Reads the font configuration of the system; the font library does it once, thread-safely, and
// Qt then finds it ready.
void readFontConfiguration();

// Fills Qt's font database (its functions lock it), once the application object exists, and
// measures `fonts` once: what the database learns meanwhile (the fallbacks of each family) is
// shared with the thread that draws them.
void fillFontDatabase(const QList<QFont> &fonts);
