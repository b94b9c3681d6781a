// The application object the harnesses that build documents or windows need, on the offscreen
// platform, made once.
#pragma once

#include <QApplication>

#include <cstdlib>

namespace fuzz {

inline void qtApplication()
{
    static QApplication *app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "velmora-fuzz";
        static char *argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    (void)app;
}

} // namespace fuzz
