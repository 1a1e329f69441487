// QProcess and the local sockets want an application object; nothing here runs its event loop.

#include "host/app/MainThread.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#if defined(__SANITIZE_THREAD__)
// The end-to-end tests start lumora with QProcess, which forks this multi-threaded process and
// execs at once; nothing runs in the child before exec.
extern "C" const char *__tsan_default_options()
{
    return "die_after_fork=0";
}
#endif

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Lumora::App::MainThread::initialize();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
