// Each way a transfer can fail, produced by a matching fault, ends with its own reason, and a body
// that goes on past its promise never grows the disk beyond it.

#include "tests/support/TempHome.h"
#include "tests/support/http/HttpTestServer.h"
#include "tests/vdm/EngineDriver.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace LumoraTest;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// A loopback socket that is bound; listening with a full queue when asked, else closed again so
// that connecting to its port is refused.
class LoopbackPort {
public:
    explicit LoopbackPort(bool listenFull)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), size);
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size);
        m_port = ntohs(address.sin_port);
        if (!listenFull) {
            ::close(m_listener);
            m_listener = -1;
            return;
        }
        // A backlog of zero holds one connection nobody accepts; with it taken, the system drops
        // further connection attempts unanswered, as a host that has gone quiet does.
        ::listen(m_listener, 0);
        for (int i = 0; i < 2; ++i) {
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(filler, reinterpret_cast<sockaddr *>(&address), sizeof address);
            m_fillers.push_back(filler);
        }
        std::this_thread::sleep_for(50ms);  // the fillers' handshakes complete
    }
    ~LoopbackPort()
    {
        for (const int fd : m_fillers)
            ::close(fd);
        if (m_listener >= 0)
            ::close(m_listener);
    }
    std::string url(const std::string &path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

private:
    int m_listener = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
};

class FailureReason : public ::testing::Test {
protected:
    FailureReason()
    {
        clearProxyEnvironment();
        // Each failure here is the end of its transfer: no second try.
        setEngineSetting(VDM_SETTING_RETRY_LIMIT, 1);
    }
    ~FailureReason() override { ::unsetenv("VEXO_VDM_STALL_TIMEOUT_MS"); }

    static EngineRun fetch(const std::string &url, std::optional<uint64_t> expectedSize = std::nullopt)
    {
        EngineRequest request;
        request.url = url;
        request.expectedSize = expectedSize;
        return runTransfer(request);
    }

    // Where the engine puts the partial file of url.
    static std::string partPathFor(const std::string &url)
    {
        EngineRequest request;
        request.url = url;
        uint32_t file = 0;
        EXPECT_EQ(openTransfer(request, file), VDM_OK);
        const std::string path = outputPathOf(file);
        VDMFileClose(file);
        return path;
    }

    TempHome m_home;
    HttpTestServer server;
};

void expectFailure(const EngineRun &run, int32_t reason)
{
    EXPECT_EQ(run.endResult, VDM_ENDED);
    EXPECT_FALSE(run.complete());
    EXPECT_EQ(run.info.state, uint32_t(VDM_STATE_FAILED));
    EXPECT_EQ(run.info.result, reason);
}

} // namespace

TEST_F(FailureReason, connectionFailuresAreToldApart)
{
    expectFailure(fetch("http://no-such-host.invalid/file.bin"), VDM_E_HOST_NOT_FOUND);

    const LoopbackPort closed(false);
    expectFailure(fetch(closed.url("/file.bin")), VDM_E_CONNECTION_REFUSED);

    // A short limit for the port that never answers only: on a busy machine it would also end
    // answering servers before their first byte.
    const LoopbackPort quiet(true);
    ::setenv("VEXO_VDM_STALL_TIMEOUT_MS", "500", 1);
    expectFailure(fetch(quiet.url("/file.bin")), VDM_E_TIMED_OUT);
}

TEST_F(FailureReason, connectionResetMidBodyIsConnectionLost)
{
    HttpBehaviour resetting;
    resetting.resetAfterBytes = 300000;
    for (const HttpLengthMode mode : {HttpLengthMode::Exact, HttpLengthMode::Chunked}) {
        resetting.length = mode;
        server.serveGenerated("/reset.bin", 1024 * 1024, resetting);
        const EngineRun run = fetch(server.url("/reset.bin"));
        expectFailure(run, VDM_E_CONNECTION_LOST);
        EXPECT_LE(run.info.received, 300000u);
    }
}

TEST_F(FailureReason, bodyLongerThanTheExpectedSizeEndsAtItAndLeavesNothing)
{
    HttpBehaviour unannounced;
    unannounced.length = HttpLengthMode::Omitted;
    server.serveGenerated("/longer.bin", 60000, unannounced);
    server.serveGenerated("/endless.bin", uint64_t(1) << 40, unannounced);

    for (const char *path : {"/longer.bin", "/endless.bin"}) {
        const EngineRun run = fetch(server.url(path), 53360);
        expectFailure(run, VDM_E_BODY_TOO_LONG);
        EXPECT_LE(run.info.received, 53360u) << path;
        EXPECT_FALSE(fs::exists(run.outputPath)) << path;
        EXPECT_FALSE(fs::exists(run.outputPath + ".meta")) << path;
    }
    // The promise is a ceiling, not a length: a body that ends on it or before it is whole.
    const EngineRun exact = fetch(server.url("/longer.bin"), 60000);
    EXPECT_TRUE(exact.complete()) << exact.info.result;
    const EngineRun shorter = fetch(server.url("/longer.bin"), 70000);
    EXPECT_TRUE(shorter.complete()) << shorter.info.result;
    EXPECT_EQ(shorter.info.total, 60000u);
}

TEST_F(FailureReason, theResponsesOwnLengthWinsOverTheExpectedSize)
{
    server.serveGenerated("/announced.bin", 80000);
    const EngineRun larger = fetch(server.url("/announced.bin"), 53360);
    ASSERT_TRUE(larger.complete()) << larger.info.result;
    EXPECT_EQ(larger.info.total, 80000u);
    EXPECT_TRUE(readWholeFile(larger.outputPath) == HttpTestServer::generatedString(0, 80000));

    const EngineRun smaller = fetch(server.url("/announced.bin"), 90000);
    ASSERT_TRUE(smaller.complete()) << smaller.info.result;
    EXPECT_EQ(smaller.info.total, 80000u);
}

TEST_F(FailureReason, noSpaceLeftIsDiskFull)
{
    server.serveGenerated("/full.bin", 2 * 1024 * 1024);
    const std::string url = server.url("/full.bin");
    const std::string part = partPathFor(url);
    ASSERT_FALSE(part.empty());
    fs::create_directories(fs::path(part).parent_path());
    // Every write to this device fails the way a full file system does.
    fs::create_symlink("/dev/full", part);

    const EngineRun run = fetch(url);
    expectFailure(run, VDM_E_DISK_FULL);
    EXPECT_EQ(run.info.transportError, ENOSPC);
    EXPECT_LT(run.info.received, run.info.total);
}
