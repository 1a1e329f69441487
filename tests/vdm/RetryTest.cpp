// Passing faults heal inside the engine: what is tried again, how soon, from where, and when the
// engine gives up.

#include "tests/support/TempHome.h"
#include "tests/support/http/HttpTestServer.h"
#include "tests/vdm/EngineDriver.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace LumoraTest;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class Retry : public ::testing::Test {
protected:
    Retry()
    {
        clearProxyEnvironment();
        ::setenv("VEXO_VDM_STALL_TIMEOUT_MS", "1000", 1);
    }
    ~Retry() override { ::unsetenv("VEXO_VDM_STALL_TIMEOUT_MS"); }

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

HttpBehaviour answeringFirst(std::vector<int> statuses, std::string retryAfter = {})
{
    HttpBehaviour behaviour;
    behaviour.firstStatuses = std::move(statuses);
    if (!retryAfter.empty())
        behaviour.extraHeaders.emplace_back("Retry-After", retryAfter);
    return behaviour;
}

} // namespace

TEST_F(Retry, aServerBrieflyUnavailableIsAskedAgain)
{
    server.serveGenerated("/busy.bin", 300000, answeringFirst({503, 502}));
    const EngineRun run = runTransfer(request("/busy.bin"));
    ASSERT_TRUE(run.complete()) << run.info.result;
    EXPECT_EQ(server.requests("/busy.bin").size(), 3u);
    EXPECT_EQ(run.info.attempt, 3u);
    EXPECT_EQ(run.info.retryReason, VDM_OK) << "nothing is being retried once complete";
    EXPECT_TRUE(readWholeFile(run.outputPath) == HttpTestServer::generatedString(0, 300000));
}

TEST_F(Retry, retryAfterIsHonouredAndShownWhileWaiting)
{
    server.serveGenerated("/limited.bin", 200000, answeringFirst({429}, "2"));
    uint32_t file = 0;
    ASSERT_EQ(openTransfer(request("/limited.bin"), file), VDM_OK);
    ASSERT_EQ(VDMFilePause(file, 0), VDM_OK);

    VDMFileInfo info {};
    ASSERT_TRUE(waitForState(file, VDM_STATE_RETRYING, 10s, info));
    EXPECT_EQ(VDMFileGetInfo(file, &info), VDM_OK) << "waiting to retry is not an end";
    EXPECT_EQ(VDMFileCheck(file), VDM_OK);
    EXPECT_EQ(info.retryReason, VDM_E_HTTP_STATUS);
    EXPECT_EQ(info.httpStatus, 429);
    EXPECT_EQ(info.attempt, 2u) << "the try that comes next";
    EXPECT_EQ(info.maxAttempts, uint32_t(VDM_RETRY_LIMIT_DEFAULT));
    EXPECT_GT(info.retryDelayMs, 1000u) << "longer than the first back-off: the server's word counts";
    EXPECT_LE(info.retryDelayMs, 2000u);

    ASSERT_TRUE(waitForEnd(file, 20s, info));
    EXPECT_EQ(info.state, uint32_t(VDM_STATE_COMPLETED));
    EXPECT_EQ(server.requests("/limited.bin").size(), 2u);
    EXPECT_EQ(VDMFileClose(file), VDM_OK);
}

TEST_F(Retry, faultsThatWouldRecurAreNotRetried)
{
    HttpBehaviour locked;
    locked.username = "viewer";
    locked.password = "right";
    server.serveGenerated("/locked.bin", 1000, locked);
    for (const int status : {404, 410, 403}) {
        HttpBehaviour failing;
        failing.forceStatus = status;
        server.serveGenerated("/gone.bin", 1000, failing);
        server.clearRequests();
        const EngineRun run = runTransfer(request("/gone.bin"));
        EXPECT_EQ(run.info.result, VDM_E_HTTP_STATUS) << status;
        EXPECT_EQ(run.info.httpStatus, status);
        EXPECT_EQ(server.requests("/gone.bin").size(), 1u) << status << " asked for once only";
    }
    EngineRequest refused = request("/locked.bin");
    refused.login = "viewer";
    refused.password = "wrong";
    server.clearRequests();
    const EngineRun run = runTransfer(refused);
    EXPECT_EQ(run.info.httpStatus, 401);
    EXPECT_LE(server.requests("/locked.bin").size(), 2u) << "one request, and the one with credentials";
    EXPECT_EQ(run.info.attempt, 1u);

    EngineRequest nowhere;
    nowhere.url = "http://no-such-host.invalid/file.bin";
    const EngineRun unresolved = runTransfer(nowhere);
    EXPECT_EQ(unresolved.info.result, VDM_E_HOST_NOT_FOUND);
    EXPECT_EQ(unresolved.info.attempt, 1u);
}

TEST_F(Retry, aConnectionDroppedEveryTenMiBStillCompletesByRanges)
{
    constexpr uint64_t kTen = 10 * 1024 * 1024;
    constexpr uint64_t kSize = 10 * kTen;
    HttpBehaviour dropping;
    dropping.dropAfterBytes = kTen;
    server.serveGenerated("/flaky.bin", kSize, dropping);

    // One connection: ten requests, each continuing where the last was cut.
    setEngineSetting(VDM_SETTING_MAX_CONNECTIONS, 1);
    EngineRun run = runTransfer(request("/flaky.bin"));
    ASSERT_TRUE(run.complete()) << run.info.result;
    EXPECT_TRUE(fileHoldsGenerated(run.outputPath, kSize));
    auto requests = server.requests("/flaky.bin");
    ASSERT_EQ(requests.size(), 10u);
    EXPECT_FALSE(requests[0].hasHeader("Range"));
    for (size_t i = 1; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].header("Range"), "bytes=" + std::to_string(i * kTen) + "-") << i;
        EXPECT_FALSE(requests[i].header("If-Range").empty()) << i;
    }

    // Several: each one's drops are healed the same way, by ranges.
    setEngineSetting(VDM_SETTING_MAX_CONNECTIONS, 4);
    server.clearRequests();
    run = runTransfer(request("/flaky.bin"));
    ASSERT_TRUE(run.complete()) << run.info.result;
    EXPECT_TRUE(fileHoldsGenerated(run.outputPath, kSize));
    requests = server.requests("/flaky.bin");
    EXPECT_GE(requests.size(), 10u);
    for (size_t i = 1; i < requests.size(); ++i)
        EXPECT_TRUE(requests[i].hasHeader("Range")) << i;
}

TEST_F(Retry, pauseCutsABackOffShortAndKeepsTheFile)
{
    HttpBehaviour slow;
    slow.stallAfterBytes = 200000;
    slow.stallFor = 60s;
    server.serveGenerated("/patience.bin", 1024 * 1024, slow);
    uint32_t file = 0;
    ASSERT_EQ(openTransfer(request("/patience.bin"), file), VDM_OK);
    ASSERT_EQ(VDMFilePause(file, 0), VDM_OK);
    ASSERT_TRUE(waitForReceived(file, 200000, 10s));
    ASSERT_EQ(VDMFilePause(file, 1), VDM_OK);
    ASSERT_EQ(VDMFileClose(file), VDM_OK);

    HttpBehaviour unavailable;
    unavailable.forceStatus = 503;
    unavailable.extraHeaders.emplace_back("Retry-After", "30");
    server.setBehaviour("/patience.bin", unavailable);
    for (const bool close : {false, true}) {
        ASSERT_EQ(openTransfer(request("/patience.bin"), file), VDM_OK);
        ASSERT_EQ(VDMFilePause(file, 0), VDM_OK);
        VDMFileInfo info {};
        ASSERT_TRUE(waitForState(file, VDM_STATE_RETRYING, 10s, info));
        EXPECT_GT(info.retryDelayMs, 20000u);
        const std::string part = outputPathOf(file);
        const auto asked = std::chrono::steady_clock::now();
        if (close) {
            EXPECT_EQ(VDMFileClose(file), VDM_OK);
        } else {
            EXPECT_EQ(VDMFilePause(file, 1), VDM_OK);
            EXPECT_EQ(VDMFileGetInfo(file, &info), VDM_OK);
            EXPECT_EQ(info.state, uint32_t(VDM_STATE_PAUSED));
            EXPECT_EQ(VDMFileClose(file), VDM_OK);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s) << (close ? "close" : "pause");
        EXPECT_EQ(fs::file_size(part), 200000u) << "still resumable";
        EXPECT_TRUE(fs::exists(part + ".meta"));
    }

    server.setBehaviour("/patience.bin", {});
    const EngineRun resumed = runTransfer(request("/patience.bin"));
    ASSERT_TRUE(resumed.complete()) << resumed.info.result;
    EXPECT_EQ(resumed.info.resumedFrom, 200000u);
    EXPECT_TRUE(fileHoldsGenerated(resumed.outputPath, 1024 * 1024));
}

TEST_F(Retry, processExitCutsABackOffShort)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    HttpBehaviour unavailable;
    unavailable.forceStatus = 503;
    unavailable.extraHeaders.emplace_back("Retry-After", "300");
    server.serveGenerated("/later.bin", 1000, unavailable);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EXIT(
        {
            uint32_t file = 0;
            VDMFileInfo info {};
            if (openTransfer(request("/later.bin"), file) != VDM_OK || VDMFilePause(file, 0) != VDM_OK
                || !waitForState(file, VDM_STATE_RETRYING, 10s, info))
                std::exit(3);
            std::exit(0);  // five minutes before the next try
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
}

TEST_F(Retry, aResourceChangedBetweenTriesStartsAgainFromZero)
{
    HttpBehaviour stalling;
    stalling.stallAfterBytes = 300000;
    stalling.stallFor = 60s;
    server.serveGenerated("/edited.bin", 2 * 1024 * 1024, stalling);
    uint32_t file = 0;
    ASSERT_EQ(openTransfer(request("/edited.bin"), file), VDM_OK);
    ASSERT_EQ(VDMFilePause(file, 0), VDM_OK);
    ASSERT_TRUE(waitForReceived(file, 300000, 10s));
    // Replaced while the engine waits out the stall; its next try finds another resource.
    const std::string replacement = HttpTestServer::generatedString(4242, 1500000);
    server.serveBytes("/edited.bin", replacement);

    VDMFileInfo info {};
    ASSERT_TRUE(waitForEnd(file, 20s, info));
    EXPECT_EQ(info.state, uint32_t(VDM_STATE_COMPLETED)) << info.result;
    EXPECT_EQ(info.total, replacement.size());
    EXPECT_EQ(info.resumedFrom, 0u);
    EXPECT_TRUE(readWholeFile(outputPathOf(file)) == replacement) << "no byte of the old version";
    EXPECT_EQ(VDMFileClose(file), VDM_OK);
    const auto requests = server.requests("/edited.bin");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].header("Range"), "bytes=300000-");
}

TEST_F(Retry, aServerUnavailableForeverFailsOnceTheBoundsAreReached)
{
    HttpBehaviour unavailable;
    unavailable.forceStatus = 503;
    server.serveGenerated("/down.bin", 1000, unavailable);

    setEngineSetting(VDM_SETTING_RETRY_LIMIT, 2);
    EngineRun run = runTransfer(request("/down.bin"));
    EXPECT_EQ(run.info.state, uint32_t(VDM_STATE_FAILED));
    EXPECT_EQ(run.info.result, VDM_E_HTTP_STATUS);
    EXPECT_EQ(run.info.httpStatus, 503);
    EXPECT_EQ(run.info.maxAttempts, 2u);
    EXPECT_EQ(server.requests("/down.bin").size(), 2u);

    // Within the time bound the first wait (1 s) fits, the second (2 s) no longer does.
    setEngineSetting(VDM_SETTING_RETRY_LIMIT, 10);
    setEngineSetting(VDM_SETTING_RETRY_TIME_LIMIT, 1);
    server.clearRequests();
    run = runTransfer(request("/down.bin"));
    EXPECT_EQ(run.info.result, VDM_E_HTTP_STATUS);
    EXPECT_EQ(server.requests("/down.bin").size(), 2u);
}
