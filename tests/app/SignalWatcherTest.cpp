#include "host/app/SignalWatcher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <csignal>

using Lumora::App::SignalWatcher;

namespace {

// In a child of its own: the handlers are process-wide and the second signal ends the process.
void interruptTwice()
{
    SignalWatcher watcher;
    int seen = 0;
    QObject::connect(&watcher, &SignalWatcher::shutdownRequested, [&](int) { ++seen; });
    if (!watcher.install())
        std::_Exit(3);
    ::raise(SIGINT);
    QDeadlineTimer deadline(5000);
    while (seen == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents();
    if (seen != 1)
        std::_Exit(4);
    // The player is shutting down now; the user does not want to wait.
    ::raise(SIGINT);
    std::_Exit(5);
}

} // namespace

TEST(SignalWatcher, firstSignalIsHandedToTheEventLoopSecondQuitsAtOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(interruptTwice(), ::testing::ExitedWithCode(128 + SIGINT), "");
}
