// Reads the font configuration on a helper thread while the program connects to the display, so
// that the first text of the first frame does not wait for it. The font library initialises itself
// once and thread-safely; Qt then finds it ready.
//
//     FontConfigWarmUp fonts;           // before the application object
//     Application app(argc, argv);
//     fonts.wait();                     // before the first widget shows text
#pragma once

#include <thread>

class FontConfigWarmUp
{
public:
    FontConfigWarmUp();
    ~FontConfigWarmUp();
    FontConfigWarmUp(const FontConfigWarmUp &) = delete;
    FontConfigWarmUp &operator=(const FontConfigWarmUp &) = delete;

    void wait();

private:
    std::thread m_thread;
};
