// The window's tests run on the offscreen platform, with a GUI application and the player core's
// main-thread queue; a test that needs the event loop runs it itself.

#include "host/player/MainThread.h"
#include "tests/support/ThreadSanitizerDefaults.h"

#include <QApplication>

#include <gtest/gtest.h>


int main(int argc, char **argv)
{
    // No display is needed, nor wanted: the tests must not depend on the desktop they run on.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Lumora::Host::MainThread::initialize();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
