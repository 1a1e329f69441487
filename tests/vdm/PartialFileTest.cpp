// What a transfer leaves in the output directory: what can be resumed stays, what cannot goes, a
// discard removes it on request, and merely opening a file changes nothing.

#include "tests/support/TempHome.h"
#include "tests/support/http/HttpTestServer.h"
#include "tests/vdm/EngineDriver.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>

using namespace LumoraTest;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class PartialFile : public ::testing::Test {
protected:
    PartialFile()
    {
        clearProxyEnvironment();
        // Each failure here is the end of its transfer: no second try.
        setEngineSetting(VDM_SETTING_RETRY_LIMIT, 1);
    }
    ~PartialFile() override { ::unsetenv("VEXO_VDM_STALL_TIMEOUT_MS"); }

    EngineRequest request(const std::string &path) const
    {
        EngineRequest r;
        r.url = server.url(path);
        return r;
    }

    // Starts path, pauses it once bytes have arrived and closes it; returns the part file's path.
    std::string pauseAt(const std::string &path, uint64_t bytes)
    {
        uint32_t file = 0;
        EXPECT_EQ(openTransfer(request(path), file), VDM_OK);
        EXPECT_EQ(VDMFilePause(file, 0), VDM_OK);
        EXPECT_TRUE(waitForReceived(file, bytes, 10s));
        EXPECT_EQ(VDMFilePause(file, 1), VDM_OK);
        const std::string part = outputPathOf(file);
        EXPECT_EQ(VDMFileClose(file), VDM_OK);
        return part;
    }

    static int32_t discard(const std::string &url, uint32_t &file)
    {
        file = 0xFFFF;
        return VDMFileOpenURIEx(utf16(url).c_str(), 0, 0, nullptr, &file, VDM_OPEN_DISCARD);
    }

    // Every entry below the home with its size and modification time.
    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> snapshot() const
    {
        std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> entries;
        for (const auto &entry : fs::recursive_directory_iterator(m_home.path().toStdString()))
            entries[entry.path().string()] = {entry.is_regular_file() ? entry.file_size() : 0,
                                              entry.last_write_time()};
        return entries;
    }

    TempHome m_home;
    HttpTestServer server;
};

HttpBehaviour withoutValidators()
{
    HttpBehaviour behaviour;
    behaviour.sendEtag = false;
    behaviour.sendLastModified = false;
    return behaviour;
}

} // namespace

TEST_F(PartialFile, aFailureThatCannotBeResumedLeavesNothing)
{
    HttpBehaviour dropping = withoutValidators();
    dropping.dropAfterBytes = 200000;
    server.serveGenerated("/anonymous.bin", 1024 * 1024, dropping);
    HttpBehaviour stalling = withoutValidators();
    stalling.stallAfterBytes = 100000;
    stalling.stallFor = 60s;
    server.serveGenerated("/stalls.bin", 1024 * 1024, stalling);
    HttpBehaviour unsized;  // validators, but no size to resume against
    unsized.length = HttpLengthMode::Chunked;
    unsized.resetAfterBytes = 200000;
    server.serveGenerated("/unsized.bin", 1024 * 1024, unsized);

    for (const char *path : {"/anonymous.bin", "/stalls.bin", "/unsized.bin"}) {
        // Only the stalled body needs a short stall limit; on a busy machine a short one would also
        // end the others before their first byte.
        const bool stalls = std::string_view(path) == "/stalls.bin";
        if (stalls)
            ::setenv("VEXO_VDM_STALL_TIMEOUT_MS", "300", 1);
        const EngineRun run = runTransfer(request(path));
        if (stalls)
            ::unsetenv("VEXO_VDM_STALL_TIMEOUT_MS");
        EXPECT_EQ(run.endResult, VDM_ENDED) << path;
        EXPECT_EQ(run.info.state, uint32_t(VDM_STATE_FAILED)) << path;
        EXPECT_GT(run.info.received, 0u) << path << ": the failure came mid-body";
        EXPECT_FALSE(fs::exists(run.outputPath)) << path;
        EXPECT_FALSE(fs::exists(run.outputPath + ".meta")) << path;
    }
}

TEST_F(PartialFile, closingAPausedFileKeepsOnlyWhatCanBeResumed)
{
    HttpBehaviour slow;
    slow.stallAfterBytes = 100000;
    slow.stallFor = 60s;
    server.serveGenerated("/resumable.bin", 1024 * 1024, slow);
    HttpBehaviour slowAnonymous = withoutValidators();
    slowAnonymous.stallAfterBytes = 100000;
    slowAnonymous.stallFor = 60s;
    server.serveGenerated("/anonymous.bin", 1024 * 1024, slowAnonymous);

    const std::string kept = pauseAt("/resumable.bin", 100000);
    EXPECT_EQ(fs::file_size(kept), 100000u);
    EXPECT_TRUE(fs::exists(kept + ".meta"));

    uint32_t file = 0;
    ASSERT_EQ(openTransfer(request("/anonymous.bin"), file), VDM_OK);
    ASSERT_EQ(VDMFilePause(file, 0), VDM_OK);
    ASSERT_TRUE(waitForReceived(file, 100000, 10s));
    ASSERT_EQ(VDMFilePause(file, 1), VDM_OK);
    const std::string gone = outputPathOf(file);
    EXPECT_TRUE(fs::exists(gone)) << "paused, the file is still this open's to continue";
    ASSERT_EQ(VDMFileClose(file), VDM_OK);
    EXPECT_FALSE(fs::exists(gone));
}

TEST_F(PartialFile, discardRemovesWhatAnEarlierTransferLeft)
{
    HttpBehaviour slow;
    slow.stallAfterBytes = 150000;
    slow.stallFor = 60s;
    server.serveGenerated("/left.bin", 1024 * 1024, slow);
    const std::string part = pauseAt("/left.bin", 150000);
    ASSERT_TRUE(fs::exists(part + ".meta"));

    uint32_t file = 0;
    EXPECT_EQ(discard(server.url("/left.bin"), file), VDM_OK);
    EXPECT_EQ(file, 0u) << "a discard opens nothing";
    EXPECT_FALSE(fs::exists(part));
    EXPECT_FALSE(fs::exists(part + ".meta"));
    EXPECT_EQ(discard(server.url("/left.bin"), file), VDM_OK) << "nothing left to remove is success";
    EXPECT_EQ(discard(server.url("/never-fetched.bin"), file), VDM_OK);

    server.setBehaviour("/left.bin", {});
    server.clearRequests();
    const EngineRun again = runTransfer(request("/left.bin"));
    ASSERT_TRUE(again.complete()) << again.info.result;
    EXPECT_EQ(again.info.resumedFrom, 0u);
    EXPECT_FALSE(server.requests("/left.bin").at(0).hasHeader("Range"));
}

TEST_F(PartialFile, discardIsRefusedWhileTheFileIsInUse)
{
    HttpBehaviour slow;
    slow.stallAfterBytes = 150000;
    slow.stallFor = 60s;
    server.serveGenerated("/busy.bin", 1024 * 1024, slow);

    // Open in this process, before its first run has created anything.
    uint32_t open = 0;
    ASSERT_EQ(openTransfer(request("/busy.bin"), open), VDM_OK);
    uint32_t file = 0;
    EXPECT_EQ(discard(server.url("/busy.bin"), file), VDM_E_IN_USE);
    ASSERT_EQ(VDMFilePause(open, 0), VDM_OK);
    ASSERT_TRUE(waitForReceived(open, 150000, 10s));
    EXPECT_EQ(discard(server.url("/busy.bin"), file), VDM_E_IN_USE);
    const std::string part = outputPathOf(open);
    ASSERT_EQ(VDMFileClose(open), VDM_OK);

    // Locked by another writer (another process, as far as the lock can tell).
    const int fd = ::open(part.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(discard(server.url("/busy.bin"), file), VDM_E_IN_USE);
    EXPECT_TRUE(fs::exists(part));
    ::close(fd);
    EXPECT_EQ(discard(server.url("/busy.bin"), file), VDM_OK);
    EXPECT_FALSE(fs::exists(part));
}

TEST_F(PartialFile, openingAskingAndClosingChangesNothingOnDisk)
{
    HttpBehaviour slow;
    slow.stallAfterBytes = 120000;
    slow.stallFor = 60s;
    server.serveGenerated("/queued.bin", 1024 * 1024, slow);
    server.serveGenerated("/earlier.bin", 1024 * 1024, slow);

    // Before anything was ever downloaded: not even the output directory appears.
    auto before = snapshot();
    uint32_t file = 0;
    ASSERT_EQ(openTransfer(request("/queued.bin"), file), VDM_OK);
    const std::string path = outputPathOf(file);
    EXPECT_TRUE(path.ends_with(".part")) << path;
    ASSERT_EQ(VDMFileClose(file), VDM_OK);
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(fs::exists(fs::path(path).parent_path()));

    // With an earlier transfer's partial file and records in place.
    const std::string earlier = pauseAt("/earlier.bin", 120000);
    std::this_thread::sleep_for(20ms);  // a change would show in the times
    before = snapshot();
    for (const uint32_t flags : {uint32_t(VDM_OPEN_FOLLOW_REDIRECTS | VDM_OPEN_RESUME), uint32_t(0)}) {
        EngineRequest again = request("/earlier.bin");
        again.flags = flags;
        ASSERT_EQ(openTransfer(again, file), VDM_OK);
        EXPECT_EQ(outputPathOf(file), earlier);
        ASSERT_EQ(VDMFileClose(file), VDM_OK);
        EXPECT_EQ(snapshot(), before) << "flags " << flags;
    }
}
