// Shared main of the widget tests: the real application object on the offscreen platform, so
// that event-handler errors travel the same road as in the program.
#include "application.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    Application app(argc, argv);
    // Tests check the error box by its text; a real modal box would block the run.
    app.setErrorReporter([](const QString &) {});
    return RUN_ALL_TESTS();
}
