// The player always runs with a Qt application object (its event loop need not run); the probe's
// own thread needs one to exist. Made once, on the main thread, before the first test.

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

// Qt is not built with ThreadSanitizer: what its own threads (the network access manager's among
// them) hand each other through its uninstrumented locks reads as races. Ignore the memory
// operations Qt itself makes; everything this project compiles is still checked.
extern "C" const char *__tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Network.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n"
           "called_from_lib:libcpp-httplib.so\n"
           "race:libcpp-httplib.so\n";
}
