// QProcess and the local sockets want an application object, and the player core its main-thread
// queue; the tests that need the event loop run it themselves. Shared by the player and cli tests.

#include "host/player/MainThread.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#if defined(__SANITIZE_THREAD__)
// The end-to-end tests start lumora with QProcess, which forks this multi-threaded process and
// execs at once; nothing runs in the child before exec.
extern "C" const char *__tsan_default_options()
{
    return "die_after_fork=0";
}

// Qt, glib, libdbus and cpp-httplib are not built with ThreadSanitizer: an event Qt allocates on the posting
// thread and frees on the receiving one, and their own threads' hand-overs, are synchronised by
// locks it cannot see. What lumora hands between threads travels in its own, instrumented queues.
extern "C" const char *__tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Network.so.6\n"
           "race:libQt6DBus.so.6\n"
           "race:libdbus-1.so.3\n"
           "deadlock:libdbus-1.so.3\n"
           "called_from_lib:libglib-2.0.so.0\n"
           "called_from_lib:libcpp-httplib.so\n"
           "race:libcpp-httplib.so\n"
           "race:QCoreApplicationPrivate::sendPostedEvents\n";
}
#endif

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Lumora::Host::MainThread::initialize();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
