// The window's tests run on the offscreen platform, with a GUI application and the player core's
// main-thread queue; a test that needs the event loop runs it itself.

#include "host/player/MainThread.h"

#include <QApplication>

#include <gtest/gtest.h>

#if defined(__SANITIZE_THREAD__)
// The end-to-end tests start lumora with QProcess, which forks this multi-threaded process and
// execs at once; nothing runs in the child before exec.
extern "C" const char *__tsan_default_options()
{
    return "die_after_fork=0";
}

// Qt, glib and cpp-httplib are not built with ThreadSanitizer: what they hand between their own
// threads is synchronised by locks it cannot see. What lumora hands between threads travels in its
// own, instrumented queues.
extern "C" const char *__tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6Network.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n"
           "called_from_lib:libcpp-httplib.so\n"
           "race:libcpp-httplib.so\n"
           "race:QCoreApplicationPrivate::sendPostedEvents\n";
}
#endif

int main(int argc, char **argv)
{
    // No display is needed, nor wanted: the tests must not depend on the desktop they run on.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Lumora::Host::MainThread::initialize();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
