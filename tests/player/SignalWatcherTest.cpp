#include "host/player/SignalWatcher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

using Lumora::Host::SignalWatcher;

namespace {

// In a child of its own: the handlers are process-wide and the second signal ends the process.
void interruptTwice(const QByteArray &leftover)
{
    SignalWatcher watcher;
    SignalWatcher::setLeftoverFile(leftover);
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
    // The child runs this test again from the top: both must name the same file.
    const bool child = !GTEST_FLAG_GET(internal_run_death_test).empty();
    const QByteArray leftover = QFile::encodeName(QDir::tempPath()) + "/lumora-leftover-"
                                + QByteArray::number(child ? ::getppid() : ::getpid());
    if (!child) {
        QFile file(QString::fromLocal8Bit(leftover));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    EXPECT_EXIT(interruptTwice(leftover), ::testing::ExitedWithCode(128 + SIGINT), "");
    // The quick way out still removes the player's socket, so no dead socket file is left behind.
    EXPECT_FALSE(QFile::exists(QString::fromLocal8Bit(leftover)));
    QFile::remove(QString::fromLocal8Bit(leftover));
}
