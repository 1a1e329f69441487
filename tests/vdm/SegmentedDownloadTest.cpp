// One file over several connections: whole and byte-identical however many there are, fewer when
// the server will not have them, started again when the resource changes, and continued segment
// by segment after a crash.

#include "tests/support/TempHome.h"
#include "tests/support/http/HttpTestServer.h"
#include "tests/support/http/HttpsTestServer.h"
#include "tests/vdm/EngineDriver.h"
#include "vdm/PartialFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace LumoraTest;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

class SegmentedDownload : public ::testing::Test {
protected:
    SegmentedDownload()
    {
        clearProxyEnvironment();
        ::setenv("VEXO_VDM_STALL_TIMEOUT_MS", "5000", 1);
        setEngineSetting(VDM_SETTING_SEGMENT_MINIMUM_SIZE, VDM_SEGMENT_MINIMUM_SIZE_MIN);
    }
    ~SegmentedDownload() override
    {
        ::unsetenv("VEXO_VDM_STALL_TIMEOUT_MS");
        ::unsetenv("VEXO_VDM_CA_FILE");
    }

    EngineRequest request(const std::string &url) const
    {
        EngineRequest r;
        r.url = url;
        r.timeout = 60s;
        return r;
    }

    // One whole transfer, watching that received never goes back.
    EngineRun runWatched(const EngineRequest &asked, bool &monotonic)
    {
        EngineRun run;
        uint32_t file = 0;
        run.openResult = openTransfer(asked, file);
        if (run.openResult != VDM_OK)
            return run;
        VDMFilePause(file, 0);
        monotonic = true;
        uint64_t last = 0;
        const auto deadline = std::chrono::steady_clock::now() + asked.timeout;
        while ((run.endResult = VDMFileGetInfo(file, &run.info)) == VDM_OK
               && std::chrono::steady_clock::now() < deadline) {
            monotonic = monotonic && run.info.received >= last;
            last = run.info.received;
            std::this_thread::sleep_for(2ms);
        }
        run.outputPath = outputPathOf(file);
        VDMFileClose(file);
        return run;
    }

    static std::set<int> connectionsOf(const std::vector<HttpRequestRecord> &requests)
    {
        std::set<int> ports;
        for (const auto &each : requests)
            ports.insert(each.remotePort);
        return ports;
    }

    TempHome m_home;
    HttpTestServer server;
};

HttpBehaviour throttled(uint64_t bytesPerSecond)
{
    HttpBehaviour behaviour;
    behaviour.bytesPerSecond = bytesPerSecond;
    return behaviour;
}

// "bytes=first-..." -> first
uint64_t rangeStart(const HttpRequestRecord &request)
{
    const std::string range = request.header("Range");
    return std::stoull(range.substr(6, range.find('-') - 6));
}

} // namespace

TEST_F(SegmentedDownload, filesAreWholeWithOneTwoFourAndEightConnections)
{
    const uint64_t size = 24 * kMiB + 12345;
    server.serveGenerated("/film.mkv", size, throttled(16 * kMiB));
    for (const uint64_t connections : {1, 2, 4, 8}) {
        setEngineSetting(VDM_SETTING_MAX_CONNECTIONS, connections);
        server.clearRequests();
        bool monotonic = false;
        const EngineRun run = runWatched(request(server.url("/film.mkv")), monotonic);
        ASSERT_TRUE(run.complete()) << connections << ": " << run.info.result;
        EXPECT_TRUE(monotonic) << connections << ": received went back";
        EXPECT_EQ(run.info.total, size);
        EXPECT_TRUE(fileHoldsGenerated(run.outputPath, size)) << connections;
        EXPECT_FALSE(fs::exists(run.outputPath + ".part.meta"));
        const auto requests = server.requests("/film.mkv");
        if (connections == 1) {
            EXPECT_EQ(requests.size(), 1u);
        } else {
            EXPECT_GE(connectionsOf(requests).size(), connections);
            for (size_t i = 1; i < requests.size(); ++i)
                EXPECT_FALSE(requests[i].header("If-Range").empty()) << "each range checks the resource";
        }
    }
}

TEST_F(SegmentedDownload, aServerThatWillNotServeRangesGetsOneConnection)
{
    const uint64_t size = 8 * kMiB;
    HttpBehaviour noRanges = throttled(32 * kMiB);
    noRanges.acceptRanges = false;
    HttpBehaviour ignoresRanges = throttled(32 * kMiB);
    ignoresRanges.honourRanges = false;  // claims them, sends everything anyway
    HttpBehaviour refusesExtras = throttled(32 * kMiB);
    refusesExtras.rangedStatus = 503;
    server.serveGenerated("/none.bin", size, noRanges);
    server.serveGenerated("/ignored.bin", size, ignoresRanges);
    server.serveGenerated("/refused.bin", size, refusesExtras);

    for (const char *path : {"/none.bin", "/ignored.bin", "/refused.bin"}) {
        server.clearRequests();
        bool monotonic = false;
        const EngineRun run = runWatched(request(server.url(path)), monotonic);
        ASSERT_TRUE(run.complete()) << path << ": " << run.info.result;
        EXPECT_TRUE(monotonic) << path;
        EXPECT_TRUE(fileHoldsGenerated(run.outputPath, size)) << path;
        const auto requests = server.requests(path);
        EXPECT_FALSE(requests.front().hasHeader("Range")) << path;
        EXPECT_LE(requests.size(), size_t(VDM_MAX_CONNECTIONS_DEFAULT)) << path << ": each extra asked once";
        if (std::string_view(path) == "/none.bin") {
            EXPECT_EQ(requests.size(), 1u) << "no range tried where none is offered";
        }
    }
}

// The first connection has brought its part before an extra one hears it gets everything: the
// whole answer is read through to the extra's part, and nothing already in the file is lost.
TEST_F(SegmentedDownload, aLateWholeAnswerToAnExtraConnectionKeepsWhatArrived)
{
    const uint64_t size = 8 * kMiB;
    HttpBehaviour ignoresRanges = throttled(32 * kMiB);
    ignoresRanges.honourRanges = false;
    ignoresRanges.stallRangedBeforeHeaders = 1500ms;
    server.serveGenerated("/late.bin", size, ignoresRanges);

    bool monotonic = false;
    const EngineRun run = runWatched(request(server.url("/late.bin")), monotonic);
    ASSERT_TRUE(run.complete()) << run.info.result;
    EXPECT_TRUE(monotonic) << "received went back: what had arrived was thrown away";
    EXPECT_TRUE(fileHoldsGenerated(run.outputPath, size));
}

TEST_F(SegmentedDownload, aResourceChangingMidTransferStartsAgainFromZero)
{
    const std::string replacement = HttpTestServer::generatedString(999, 12 * kMiB);
    HttpBehaviour flaky = throttled(2 * kMiB);
    flaky.dropAfterBytes = kMiB;  // every connection comes back often, and so sees the change
    server.serveGenerated("/live.bin", 16 * kMiB, flaky);
    uint32_t file = 0;
    ASSERT_EQ(openTransfer(request(server.url("/live.bin")), file), VDM_OK);
    ASSERT_EQ(VDMFilePause(file, 0), VDM_OK);
    ASSERT_TRUE(waitForReceived(file, 3 * kMiB, 20s));
    flaky.bytesPerSecond = 0;
    server.serveBytes("/live.bin", replacement, flaky);

    VDMFileInfo info {};
    ASSERT_TRUE(waitForEnd(file, 60s, info));
    EXPECT_EQ(info.state, uint32_t(VDM_STATE_COMPLETED)) << info.result;
    EXPECT_EQ(info.total, replacement.size());
    EXPECT_TRUE(readWholeFile(outputPathOf(file)) == replacement) << "never a mix of the two";
    EXPECT_EQ(VDMFileClose(file), VDM_OK);
}

TEST_F(SegmentedDownload, redirectsAreFollowedOnceAndCredentialsKeepToTheirOrigin)
{
    const uint64_t size = 8 * kMiB;
    HttpTestServer elsewhere;
    elsewhere.serveGenerated("/file.bin", size, throttled(32 * kMiB));
    server.redirect("/away", elsewhere.url("/file.bin"));
    HttpBehaviour locked = throttled(32 * kMiB);
    locked.username = "viewer";
    locked.password = "pw";
    server.serveGenerated("/locked.bin", size, locked);
    server.redirect("/home", "/locked.bin");

    EngineRequest away = request(server.url("/away"));
    away.login = "viewer";
    away.password = "pw";
    const EngineRun left = runTransfer(away);
    ASSERT_TRUE(left.complete()) << left.info.result;
    EXPECT_TRUE(fileHoldsGenerated(left.outputPath, size));
    EXPECT_EQ(server.requests("/away").size(), 1u) << "resolved once";
    EXPECT_GE(connectionsOf(elsewhere.requests("/file.bin")).size(), 2u);
    for (const auto &each : elsewhere.requests())
        EXPECT_FALSE(each.hasHeader("Authorization")) << "another origin";

    EngineRequest home = request(server.url("/home"));
    home.login = "viewer";
    home.password = "pw";
    const EngineRun stayed = runTransfer(home);
    ASSERT_TRUE(stayed.complete()) << stayed.info.result;
    EXPECT_TRUE(fileHoldsGenerated(stayed.outputPath, size));
    EXPECT_EQ(server.requests("/home").size(), 1u);
    size_t ranged = 0;
    for (const auto &each : server.requests("/locked.bin"))
        ranged += each.hasHeader("Range") && each.hasHeader("Authorization");
    EXPECT_GE(ranged, 1u) << "the same origin gets them on every connection";
}

TEST_F(SegmentedDownload, httpsConnectionsAreEachVerified)
{
    const uint64_t size = 8 * kMiB;
    HttpsTestServer secure;
    secure.serveGenerated("/secure.bin", size, throttled(32 * kMiB));
    ::setenv("VEXO_VDM_CA_FILE", secure.caCertificatePath().c_str(), 1);
    const EngineRun run = runTransfer(request(secure.url("/secure.bin")));
    ASSERT_TRUE(run.complete()) << run.info.result << " " << run.info.transportError;
    EXPECT_TRUE(fileHoldsGenerated(run.outputPath, size));
    EXPECT_GE(connectionsOf(secure.requests("/secure.bin")).size(), 2u);
}

TEST_F(SegmentedDownload, aKilledTransferContinuesEverySegment)
{
    const uint64_t size = 32 * kMiB;
    server.serveGenerated("/crash.bin", size, throttled(4 * kMiB));
    const std::string url = server.url("/crash.bin");
    uint32_t file = 0;
    ASSERT_EQ(openTransfer(request(url), file), VDM_OK);
    const std::string part = outputPathOf(file);
    VDMFileClose(file);

    // The transfer runs in a child process, killed once its map shows every segment under way.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string child = VDM_TRANSFER_CHILD;
    std::vector<char *> argv {const_cast<char *>(child.c_str()), const_cast<char *>(url.c_str()), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, child.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    std::optional<Vdm::PartialMeta> map;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
        map = Vdm::readPartialMeta(part + ".meta");
        uint64_t missing = 0;
        if (map)
            for (const auto &[first, end] : map->missing)
                missing += end - first;
        if (map && map->segmented && map->missing.size() >= 3 && missing < size - 4 * kMiB)
            break;
        map.reset();
        std::this_thread::sleep_for(20ms);
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(map) << "the child never got every segment going";
    ASSERT_TRUE(WIFSIGNALED(status));

    // What the map says after the kill (a save may have come after the one seen above).
    map = Vdm::readPartialMeta(part + ".meta");
    ASSERT_TRUE(map && map->segmented);
    uint64_t missing = 0;
    for (const auto &[first, end] : map->missing)
        missing += end - first;
    server.setBehaviour("/crash.bin", {});
    server.clearRequests();
    const EngineRun resumed = runTransfer(request(url));
    ASSERT_TRUE(resumed.complete()) << resumed.info.result;
    EXPECT_EQ(resumed.info.resumedFrom, size - missing);
    EXPECT_TRUE(fileHoldsGenerated(resumed.outputPath, size));

    const auto requests = server.requests("/crash.bin");
    std::set<uint64_t> starts;
    for (const auto &each : requests) {
        ASSERT_TRUE(each.hasHeader("Range")) << "nothing fetched from the start again";
        const uint64_t first = rangeStart(each);
        starts.insert(first);
        EXPECT_TRUE(std::any_of(map->missing.begin(), map->missing.end(),
                                [&](const auto &gap) { return first >= gap.first && first < gap.second; }))
            << "a request for bytes already in place: " << first;
    }
    for (const auto &[first, end] : map->missing)
        EXPECT_TRUE(starts.count(first)) << "segment at " << first << " not continued";
}
