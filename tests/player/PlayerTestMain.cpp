// QProcess and the local sockets want an application object, and the player core its main-thread
// queue; the tests that need the event loop run it themselves. Shared by the player and cli tests.

#include "host/player/MainThread.h"
#include "tests/support/ThreadSanitizerDefaults.h"

#include <QCoreApplication>

#include <gtest/gtest.h>


int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Lumora::Host::MainThread::initialize();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
