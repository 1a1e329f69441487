// The engine's transfers against a real HTTP server on loopback: what arrives on disk, what the
// server is asked, and how each kind of failure ends.

#include "tests/support/TempHome.h"
#include "tests/support/http/HttpTestServer.h"
#include "tests/support/http/HttpsTestServer.h"
#include "tests/vdm/EngineDriver.h"
#include "host/lmrlibrary/OSUtilities.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <filesystem>

using namespace LumoraTest;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class TransferTest : public ::testing::Test {
protected:
    TransferTest()
    {
        for (const char *proxy : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
            ::unsetenv(proxy);
        ::setenv("VEXO_VDM_STALL_TIMEOUT_MS", "3000", 1);
        ::unsetenv("VEXO_VDM_CA_FILE");
        // Each failure here is the end of its transfer: no second try.
        setEngineSetting(VDM_SETTING_RETRY_LIMIT, 1);
    }
    ~TransferTest() override
    {
        ::unsetenv("VEXO_VDM_STALL_TIMEOUT_MS");
        ::unsetenv("VEXO_VDM_CA_FILE");
    }

    std::string downloads() const { return m_home.path().toStdString() + "/cache/downloads"; }

    EngineRun fetch(const std::string &path, const std::string &login = {}, const std::string &password = {})
    {
        EngineRequest request;
        request.url = server.url(path);
        request.login = login;
        request.password = password;
        return runTransfer(request);
    }

    // Starts a transfer of path and stops it once at least bytes have arrived.
    void fetchAndStopAt(const std::string &path, uint64_t bytes)
    {
        EngineRequest request;
        request.url = server.url(path);
        uint32_t file = 0;
        ASSERT_EQ(openTransfer(request, file), VDM_OK);
        ASSERT_EQ(VDMFilePause(file, 0), VDM_OK);
        ASSERT_TRUE(waitForReceived(file, bytes, 10s));
        ASSERT_EQ(VDMFilePause(file, 1), VDM_OK);
        VDMFileInfo info {};
        EXPECT_EQ(VDMFileGetInfo(file, &info), VDM_OK) << "a stopped transfer has not ended";
        EXPECT_EQ(info.state, uint32_t(VDM_STATE_PAUSED));
        EXPECT_EQ(fs::path(outputPathOf(file)).extension(), ".part");
        EXPECT_EQ(VDMFileClose(file), VDM_OK);
    }

    static uint64_t fileSize(const std::string &path)
    {
        std::error_code error;
        const auto size = fs::file_size(path, error);
        return error ? 0 : size;
    }

    TempHome m_home;
    HttpTestServer server;
};

HttpBehaviour stallingAfter(uint64_t bytes)
{
    HttpBehaviour behaviour;
    behaviour.stallAfterBytes = bytes;
    behaviour.stallFor = 60s;
    return behaviour;
}

} // namespace

TEST_F(TransferTest, plainDownloadIsByteIdenticalAndRenamedWhenComplete)
{
    const uint64_t size = 3 * 1024 * 1024 + 17;  // more than one write block, not a multiple of it
    server.serveGenerated("/media/clip.mp4", size);

    const EngineRun run = fetch("/media/clip.mp4");

    ASSERT_TRUE(run.complete()) << "result " << run.info.result;
    EXPECT_EQ(run.info.total, size);
    EXPECT_EQ(run.info.state, uint32_t(VDM_STATE_COMPLETED));
    EXPECT_EQ(run.info.httpStatus, 200);
    EXPECT_EQ(fs::path(run.outputPath).parent_path(), fs::path(downloads()));
    EXPECT_TRUE(run.outputPath.ends_with("-clip.mp4")) << run.outputPath;
    EXPECT_TRUE(readWholeFile(run.outputPath) == HttpTestServer::generatedString(0, size));
    EXPECT_FALSE(fs::exists(run.outputPath + ".part"));
    EXPECT_FALSE(fs::exists(run.outputPath + ".part.meta"));
}

TEST_F(TransferTest, bodiesWithoutLengthCompleteWhenTheyEndCleanly)
{
    for (const HttpLengthMode mode : {HttpLengthMode::Omitted, HttpLengthMode::Chunked}) {
        HttpBehaviour behaviour;
        behaviour.length = mode;
        server.serveBytes("/open-ended", std::string(100000, 'x'), behaviour);
        const EngineRun run = fetch("/open-ended");
        ASSERT_TRUE(run.complete()) << "mode " << int(mode) << " result " << run.info.result;
        EXPECT_EQ(run.info.total, 100000u);
        EXPECT_EQ(fileSize(run.outputPath), 100000u);
    }
    server.serveBytes("/empty", "");
    const EngineRun empty = fetch("/empty");
    EXPECT_TRUE(empty.complete());
    EXPECT_EQ(empty.info.total, 0u);
    EXPECT_TRUE(fs::exists(empty.outputPath));
}

TEST_F(TransferTest, unusableLengthsAndErrorStatusesFail)
{
    struct Case {
        HttpLengthMode length;
        int status;
        int32_t result;
    };
    for (const Case c : {Case {HttpLengthMode::NonNumeric, 0, VDM_E_PROTOCOL},
                         Case {HttpLengthMode::Negative, 0, VDM_E_PROTOCOL},
                         Case {HttpLengthMode::Exact, 404, VDM_E_HTTP_STATUS},
                         Case {HttpLengthMode::Exact, 500, VDM_E_HTTP_STATUS}}) {
        HttpBehaviour behaviour;
        behaviour.length = c.length;
        behaviour.forceStatus = c.status;
        server.serveBytes("/bad", std::string(5000, 'b'), behaviour);
        const EngineRun run = fetch("/bad");
        EXPECT_EQ(run.endResult, VDM_ENDED);
        EXPECT_FALSE(run.complete());
        EXPECT_EQ(run.info.state, uint32_t(VDM_STATE_FAILED));
        EXPECT_EQ(run.info.result, c.result) << "status " << c.status;
        if (c.status) {
            EXPECT_EQ(run.info.httpStatus, c.status);
        }
    }
}

TEST_F(TransferTest, credentialsAreSentWhenAskedAndRefusalFails)
{
    HttpBehaviour locked;
    locked.username = "viewer";
    locked.password = "s3cret:with colon";
    server.serveGenerated("/locked.mp4", 200000, locked);

    const EngineRun allowed = fetch("/locked.mp4", "viewer", "s3cret:with colon");
    ASSERT_TRUE(allowed.complete()) << allowed.info.result;
    const auto requests = server.requests("/locked.mp4");
    ASSERT_FALSE(requests.empty());
    EXPECT_TRUE(requests.back().header("Authorization").starts_with("Basic "));

    const EngineRun refused = fetch("/locked.mp4", "viewer", "wrong");
    EXPECT_EQ(refused.endResult, VDM_ENDED);
    EXPECT_FALSE(refused.complete());
    EXPECT_EQ(refused.info.result, VDM_E_HTTP_STATUS);
    EXPECT_EQ(refused.info.httpStatus, 401);

    const EngineRun anonymous = fetch("/locked.mp4");
    EXPECT_EQ(anonymous.info.httpStatus, 401);
    EXPECT_FALSE(anonymous.complete());
}

TEST_F(TransferTest, credentialsNeverFollowARedirectToAnotherHost)
{
    HttpTestServer elsewhere;  // same address, other port: another origin
    HttpBehaviour locked;
    locked.username = "viewer";
    locked.password = "pw";
    elsewhere.serveBytes("/landing", "secret", locked);
    server.serveBytes("/landing", "secret", locked);
    server.redirect("/to-port", elsewhere.url("/landing"));
    server.redirect("/to-name", server.urlOnOtherHost("/landing"));
    server.redirect("/same-host", "/landing");

    for (const char *start : {"/to-port", "/to-name"}) {
        server.clearRequests();
        elsewhere.clearRequests();
        const EngineRun run = fetch(start, "viewer", "pw");
        EXPECT_FALSE(run.complete()) << start;
        EXPECT_EQ(run.info.httpStatus, 401) << start;
        for (const auto &request : server.requests())
            EXPECT_FALSE(request.hasHeader("Authorization")) << start << " " << request.path;
        for (const auto &request : elsewhere.requests())
            EXPECT_FALSE(request.hasHeader("Authorization")) << start << " " << request.path;
    }
    // Within the same origin they do follow the redirect.
    const EngineRun same = fetch("/same-host", "viewer", "pw");
    EXPECT_TRUE(same.complete()) << same.info.result;
}

TEST_F(TransferTest, redirectChainsAreFollowedAndBadOnesFail)
{
    server.serveGenerated("/file.bin", 70000);
    server.redirect("/a", "/b", 301);
    server.redirect("/b", server.url("/c"), 307);
    server.redirect("/c", "file.bin", 302);  // relative to /c
    const EngineRun chain = fetch("/a");
    ASSERT_TRUE(chain.complete()) << chain.info.result;
    EXPECT_TRUE(readWholeFile(chain.outputPath) == HttpTestServer::generatedString(0, 70000));
    EXPECT_EQ(server.requests("/file.bin").size(), 1u);

    server.redirect("/loop1", "/loop2");
    server.redirect("/loop2", "/loop1");
    const EngineRun loop = fetch("/loop1");
    EXPECT_FALSE(loop.complete());
    EXPECT_EQ(loop.info.result, VDM_E_REDIRECT);
    EXPECT_LE(server.requests("/loop1").size() + server.requests("/loop2").size(), 11u);

    server.redirect("/to-ftp", "ftp://127.0.0.1/file.bin");
    server.redirect("/to-file", "file:///etc/passwd");
    for (const char *path : {"/to-ftp", "/to-file"}) {
        const EngineRun bad = fetch(path);
        EXPECT_FALSE(bad.complete()) << path;
        EXPECT_EQ(bad.info.result, VDM_E_REDIRECT) << path;
    }
    server.redirect("/garbage", "http://[::1");
    const EngineRun garbage = fetch("/garbage");
    EXPECT_EQ(garbage.endResult, VDM_ENDED);
    EXPECT_FALSE(garbage.complete());
}

TEST_F(TransferTest, stopAndReopenResumesWithARangeRequest)
{
    const uint64_t size = 6 * 1024 * 1024;
    const uint64_t stopAt = 1024 * 1024;
    server.serveGenerated("/movie.mkv", size, stallingAfter(stopAt));
    fetchAndStopAt("/movie.mkv", stopAt);

    server.setBehaviour("/movie.mkv", {});  // same resource, served normally now
    server.clearRequests();
    const EngineRun resumed = fetch("/movie.mkv");

    ASSERT_TRUE(resumed.complete()) << resumed.info.result;
    EXPECT_EQ(resumed.info.resumedFrom, stopAt);
    EXPECT_EQ(resumed.info.httpStatus, 206);
    const auto requests = server.requests("/movie.mkv");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("Range"), "bytes=" + std::to_string(stopAt) + "-");
    EXPECT_FALSE(requests[0].header("If-Range").empty());
    EXPECT_TRUE(readWholeFile(resumed.outputPath) == HttpTestServer::generatedString(0, size));
}

TEST_F(TransferTest, pauseAndRunAgainWithinOneOpenResumes)
{
    const uint64_t size = 2 * 1024 * 1024;
    server.serveGenerated("/pause.bin", size, stallingAfter(300000));
    EngineRequest request;
    request.url = server.url("/pause.bin");
    request.flags = VDM_OPEN_FOLLOW_REDIRECTS;  // no resume across opens; within one it still resumes
    uint32_t file = 0;
    ASSERT_EQ(openTransfer(request, file), VDM_OK);
    EXPECT_EQ(VDMFileCheck(file), VDM_NOT_READY);
    ASSERT_EQ(VDMFilePause(file, 0), VDM_OK);
    EXPECT_EQ(VDMFileCheck(file), VDM_OK) << "ready as soon as it runs";
    ASSERT_TRUE(waitForReceived(file, 300000, 10s));
    ASSERT_EQ(VDMFilePause(file, 1), VDM_OK);
    EXPECT_EQ(VDMFileCheck(file), VDM_NOT_READY);

    server.setBehaviour("/pause.bin", {});
    ASSERT_EQ(VDMFilePause(file, 0), VDM_OK);
    VDMFileInfo info {};
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (VDMFileGetInfo(file, &info) == VDM_OK && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(info.state, uint32_t(VDM_STATE_COMPLETED));
    EXPECT_EQ(info.resumedFrom, 300000u);
    const std::string path = outputPathOf(file);
    EXPECT_EQ(VDMFileClose(file), VDM_OK);
    EXPECT_TRUE(readWholeFile(path) == HttpTestServer::generatedString(0, size));
}

TEST_F(TransferTest, changedResourceStartsAgainFromZero)
{
    const uint64_t stopAt = 512 * 1024;
    const std::string replacement = HttpTestServer::generatedString(777, 3 * 1024 * 1024);

    // A server that honours If-Range answers the changed resource with all of it.
    server.serveGenerated("/changing", 4 * 1024 * 1024, stallingAfter(stopAt));
    fetchAndStopAt("/changing", stopAt);
    server.serveBytes("/changing", replacement);
    EngineRun run = fetch("/changing");
    ASSERT_TRUE(run.complete()) << run.info.result;
    EXPECT_EQ(run.info.resumedFrom, 0u);
    EXPECT_TRUE(readWholeFile(run.outputPath) == replacement);

    // One that ignores If-Range sends the range with other validators; the engine asks again.
    server.serveGenerated("/changing", 4 * 1024 * 1024, stallingAfter(stopAt));
    fetchAndStopAt("/changing", stopAt);
    HttpBehaviour careless;
    careless.honourIfRange = false;
    server.serveBytes("/changing", replacement, careless);
    server.clearRequests();
    run = fetch("/changing");
    ASSERT_TRUE(run.complete()) << run.info.result;
    EXPECT_EQ(run.info.resumedFrom, 0u);
    EXPECT_TRUE(readWholeFile(run.outputPath) == replacement);
    const auto requests = server.requests("/changing");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[1].hasHeader("Range"));

    // And a server without range support sends everything again.
    server.serveGenerated("/changing", 4 * 1024 * 1024, stallingAfter(stopAt));
    fetchAndStopAt("/changing", stopAt);
    HttpBehaviour noRanges;
    noRanges.acceptRanges = false;
    server.setBehaviour("/changing", noRanges);
    run = fetch("/changing");
    ASSERT_TRUE(run.complete()) << run.info.result;
    EXPECT_EQ(run.info.resumedFrom, 0u);
    EXPECT_TRUE(readWholeFile(run.outputPath) == HttpTestServer::generatedString(0, 4 * 1024 * 1024));
}

TEST_F(TransferTest, droppedConnectionFailsAsPartialAndResumesLater)
{
    const uint64_t size = 1024 * 1024;
    HttpBehaviour dropping;
    dropping.dropAfterBytes = 400000;
    server.serveGenerated("/drop.bin", size, dropping);

    const EngineRun dropped = fetch("/drop.bin");
    EXPECT_EQ(dropped.endResult, VDM_ENDED);
    EXPECT_FALSE(dropped.complete());
    EXPECT_EQ(dropped.info.result, VDM_E_TRUNCATED);
    EXPECT_EQ(dropped.info.total, size);
    EXPECT_EQ(dropped.info.received, 400000u);
    EXPECT_TRUE(dropped.outputPath.ends_with(".part")) << "a partial file is never given as finished";
    EXPECT_EQ(fileSize(dropped.outputPath), 400000u);

    server.setBehaviour("/drop.bin", {});
    const EngineRun again = fetch("/drop.bin");
    ASSERT_TRUE(again.complete());
    EXPECT_EQ(again.info.resumedFrom, 400000u);
    EXPECT_TRUE(readWholeFile(again.outputPath) == HttpTestServer::generatedString(0, size));
}

TEST_F(TransferTest, stalledServerEndsAsFailed)
{
    ::setenv("VEXO_VDM_STALL_TIMEOUT_MS", "300", 1);
    server.serveGenerated("/stall-mid", 1024 * 1024, stallingAfter(10000));
    HttpBehaviour silent;
    silent.stallBeforeHeaders = 60s;
    server.serveBytes("/silent", "never", silent);

    for (const char *path : {"/stall-mid", "/silent"}) {
        const auto started = std::chrono::steady_clock::now();
        const EngineRun run = fetch(path);
        EXPECT_EQ(run.endResult, VDM_ENDED) << path;
        EXPECT_FALSE(run.complete()) << path;
        EXPECT_EQ(run.info.result, VDM_E_STALLED) << path;
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s) << path;
    }
}

TEST_F(TransferTest, anotherOpenOfTheSameUriIsRefusedWhileOneIsOpen)
{
    server.serveGenerated("/one.bin", 1000);
    EngineRequest request;
    request.url = server.url("/one.bin");
    uint32_t first = 0;
    uint32_t second = 0;
    ASSERT_EQ(openTransfer(request, first), VDM_OK);
    EXPECT_EQ(openTransfer(request, second), VDM_E_IN_USE);
    EXPECT_EQ(VDMFileClose(first), VDM_OK);
    EXPECT_EQ(openTransfer(request, second), VDM_OK);
    EXPECT_EQ(VDMFileClose(second), VDM_OK);
}

TEST(TransferHttps, selfSignedCertificateIsTrustedOnlyWhenConfigured)
{
    TempHome home;
    HttpsTestServer server;
    server.serveGenerated("/secure.bin", 300000);
    EngineRequest request;
    request.url = server.url("/secure.bin");

    ::unsetenv("VEXO_VDM_CA_FILE");
    ::setenv("VEXO_VDM_STALL_TIMEOUT_MS", "5000", 1);
    const EngineRun untrusted = runTransfer(request);
    EXPECT_EQ(untrusted.endResult, VDM_ENDED);
    EXPECT_FALSE(untrusted.complete());
    EXPECT_EQ(untrusted.info.result, VDM_E_TLS);

    ::setenv("VEXO_VDM_CA_FILE", server.caCertificatePath().c_str(), 1);
    const EngineRun trusted = runTransfer(request);
    ::unsetenv("VEXO_VDM_CA_FILE");
    ::unsetenv("VEXO_VDM_STALL_TIMEOUT_MS");
    ASSERT_TRUE(trusted.complete()) << trusted.info.result << " " << trusted.info.transportError;
    EXPECT_TRUE(readWholeFile(trusted.outputPath) == HttpTestServer::generatedString(0, 300000));
}

TEST_F(TransferTest, outputGoesWhereTheHostLibraryPutsItsTemporaryDirectory)
{
    server.serveBytes("/placed.bin", "placed");
    const std::string media = m_home.path().toStdString() + "/Media Folder \xC3\xA9";
    ASSERT_TRUE(Lumora::OSUtilities::setTempDownloadDirectoryParent(QString::fromStdString(media)));

    const EngineRun run = fetch("/placed.bin");
    ASSERT_TRUE(run.complete()) << run.info.result;
    EXPECT_EQ(fs::path(run.outputPath).parent_path(), fs::path(media + "/.incomplete"));
    EXPECT_EQ(readWholeFile(run.outputPath), "placed");
}

TEST_F(TransferTest, failedWriteIsAFailureEvenWhenEveryByteArrived)
{
    const uint64_t size = 3 * 1024 * 1024;
    server.serveGenerated("/too-big.bin", size);
    // Files of this process may not grow past the last few bytes: every byte arrives, the last
    // write fails.
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = previous;
    limited.rlim_cur = size - 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const EngineRun run = fetch("/too-big.bin");
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(run.endResult, VDM_ENDED);
    EXPECT_EQ(run.info.result, VDM_E_DISK);
    EXPECT_EQ(run.info.total, size);
    EXPECT_LT(run.info.received, size) << "counted only what was written";
    EXPECT_FALSE(run.complete());
    EXPECT_TRUE(run.outputPath.ends_with(".part"));
}

TEST_F(TransferTest, uriGivenAsPlainTextIsEncodedForTheRequest)
{
    server.serveBytes("/vid\xC3\xA9o clip.mp4", "text uri");
    EngineRequest request;
    request.url = "http://127.0.0.1:" + std::to_string(server.port()) + "/vid\xC3\xA9o clip.mp4";
    const EngineRun run = runTransfer(request);
    ASSERT_TRUE(run.complete()) << run.openResult << " " << run.info.result;
    EXPECT_EQ(readWholeFile(run.outputPath), "text uri");
    EXPECT_TRUE(run.outputPath.ends_with("-vid\xC3\xA9o clip.mp4")) << run.outputPath;
    const auto requests = server.requests("/vid\xC3\xA9o clip.mp4");
    ASSERT_EQ(requests.size(), 1u);
}

TEST_F(TransferTest, processExitStopsRunningTransfersCleanly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    server.serveGenerated("/endless.bin", 64 * 1024 * 1024, stallingAfter(256 * 1024));
    EXPECT_EXIT(
        {
            EngineRequest request;
            request.url = server.url("/endless.bin");
            uint32_t file = 0;
            if (openTransfer(request, file) != VDM_OK || VDMFilePause(file, 0) != VDM_OK
                || !waitForReceived(file, 256 * 1024, 10s))
                std::exit(3);
            std::exit(0);  // with the transfer still running
        },
        ::testing::ExitedWithCode(0), "");
}
