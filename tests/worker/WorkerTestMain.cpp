// The player always runs with a Qt application object (its event loop need not run); the probe's
// own thread needs one to exist. Made once, on the main thread, before the first test.

#include "tests/support/ThreadSanitizerDefaults.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "worker_tests";
        static char *argv[] = {name, nullptr};
        m_app = new QCoreApplication(argc, argv);
    }
    void TearDown() override
    {
        delete m_app;
        m_app = nullptr;
    }

private:
    QCoreApplication *m_app = nullptr;
};

const auto *const environment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

} // namespace

