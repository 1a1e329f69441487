// The download rate limit on real transfers: it holds across transfers, the environment wins over
// the registry, and a change reaches a running transfer.

#include "tests/support/TempHome.h"
#include "tests/support/http/HttpTestServer.h"
#include "tests/vdm/EngineDriver.h"

#include <gtest/gtest.h>

#include <thread>

using namespace LumoraTest;
using namespace std::chrono_literals;

namespace {

constexpr uint64_t kKiB = 1024;

class RateLimit : public ::testing::Test {
protected:
    RateLimit() { clearProxyEnvironment(); }
    ~RateLimit() override { ::unsetenv(VDM_ENV_MAX_DOWNLOAD_RATE); }

    EngineRequest request(const std::string &path) const
    {
        EngineRequest r;
        r.url = server.url(path);
        r.timeout = 60s;
        return r;
    }

    TempHome m_home;
    HttpTestServer server;
};

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST_F(RateLimit, oneLimitHoldsForAllTransfersTogether)
{
    server.serveGenerated("/a.bin", 384 * kKiB);
    server.serveGenerated("/b.bin", 384 * kKiB);
    setEngineSetting(VDM_SETTING_MAX_DOWNLOAD_RATE, 512 * kKiB);
    const auto start = std::chrono::steady_clock::now();
    EngineRun first;
    std::thread other([&] { first = runTransfer(request("/a.bin")); });
    const EngineRun second = runTransfer(request("/b.bin"));
    other.join();
    ASSERT_TRUE(first.complete());
    ASSERT_TRUE(second.complete());
    // 768 KiB at 512 KiB/s, less the quarter second an idle limiter may let through.
    EXPECT_GE(secondsSince(start), 1.2);
}

TEST_F(RateLimit, theEnvironmentWinsOverTheRegistry)
{
    server.serveGenerated("/c.bin", 320 * kKiB);
    setEngineSetting(VDM_SETTING_MAX_DOWNLOAD_RATE, 0);
    ::setenv(VDM_ENV_MAX_DOWNLOAD_RATE, "262144", 1);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(runTransfer(request("/c.bin")).complete());
    EXPECT_GE(secondsSince(start), 0.95);
}

TEST_F(RateLimit, aRunningTransferFollowsANewRate)
{
    const uint64_t size = 64 * 1024 * kKiB;
    server.serveGenerated("/long.bin", size);
    setEngineSetting(VDM_SETTING_MAX_DOWNLOAD_RATE, 256 * kKiB);
    uint32_t file = 0;
    ASSERT_EQ(openTransfer(request("/long.bin"), file), VDM_OK);
    ASSERT_EQ(VDMFilePause(file, 0), VDM_OK);
    ASSERT_TRUE(waitForReceived(file, 128 * kKiB, 10s));
    VDMFileInfo before {};
    VDMFileGetInfo(file, &before);
    std::this_thread::sleep_for(1s);
    VDMFileInfo after {};
    VDMFileGetInfo(file, &after);
    EXPECT_LT(after.received - before.received, 1024 * kKiB) << "held near 256 KiB/s";

    setEngineSetting(VDM_SETTING_MAX_DOWNLOAD_RATE, 0);
    VDMFileInfo end {};
    ASSERT_TRUE(waitForEnd(file, 20s, end)) << "64 MiB at the old rate would take minutes";
    EXPECT_EQ(end.state, uint32_t(VDM_STATE_COMPLETED));
    const std::string path = outputPathOf(file);
    EXPECT_EQ(VDMFileClose(file), VDM_OK);
    EXPECT_TRUE(fileHoldsGenerated(path, size));
}
