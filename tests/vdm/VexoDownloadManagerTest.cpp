// The C interface: every entry point checks its handle and arguments before it acts, and answers
// with the documented code; handles stay safe across threads and after close.

#include "tests/support/TempHome.h"
#include "tests/support/http/HttpTestServer.h"
#include "tests/vdm/EngineDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

using namespace LumoraTest;
using namespace std::chrono_literals;

namespace {

uint32_t openFile(const std::string &url)
{
    uint32_t file = 0;
    EngineRequest request;
    request.url = url;
    EXPECT_EQ(openTransfer(request, file), VDM_OK);
    return file;
}

} // namespace

TEST(VexoDownloadManager, serviceRuns)
{
    EXPECT_NE(VDMServiceIsRunning(), 0);
}

TEST(VexoDownloadManager, unknownZeroAndClosedHandlesAreRefused)
{
    TempHome home;
    HttpTestServer server;
    server.serveBytes("/x", "x");
    const uint32_t closed = openFile(server.url("/x"));
    ASSERT_EQ(VDMFileClose(closed), VDM_OK);

    for (const uint32_t handle : {0u, closed, 0xDEADBEEFu}) {
        EXPECT_EQ(VDMFileCheck(handle), VDM_E_INVALID_HANDLE);
        EXPECT_EQ(VDMFilePause(handle, 0), VDM_E_INVALID_HANDLE);
        EXPECT_EQ(VDMFilePause(handle, 1), VDM_E_INVALID_HANDLE);
        EXPECT_EQ(VDMFileClose(handle), VDM_E_INVALID_HANDLE);
        VDMFileInfo info;
        std::memset(&info, 0xAB, sizeof info);
        EXPECT_EQ(VDMFileGetInfo(handle, &info), VDM_E_INVALID_HANDLE);
        EXPECT_EQ(info.total, 0xABABABABABABABABull) << "the record is left alone";
        uint32_t size = 77;
        EXPECT_EQ(VDMFileGetOutputPath(handle, nullptr, &size), VDM_E_INVALID_HANDLE);
        EXPECT_EQ(size, 77u);
    }
    // A configuration handle is not a file handle, and the other way round.
    uint32_t config = 0;
    ASSERT_EQ(VDMSetFileConfigPluginOption(&config, u"urifile1", u"Login", u"me"), VDM_OK);
    EXPECT_EQ(VDMFileCheck(config), VDM_E_INVALID_HANDLE);
    uint32_t notAConfig = closed;
    EXPECT_EQ(VDMSetFileConfigPluginOption(&notAConfig, u"urifile1", u"Login", u"me"), VDM_E_INVALID_HANDLE);
}

TEST(VexoDownloadManager, argumentsAreCheckedBeforeAnythingHappens)
{
    TempHome home;
    uint32_t file = 0;
    uint32_t config = 0;
    const char16_t *uri = u"http://127.0.0.1:9/file";
    EXPECT_EQ(VDMFileOpenURIEx(nullptr, 0, 0, &config, &file, 0), VDM_E_INVALID_ARGUMENT);
    EXPECT_EQ(VDMFileOpenURIEx(uri, 0, 0, &config, nullptr, 0), VDM_E_INVALID_ARGUMENT);
    EXPECT_EQ(VDMFileOpenURIEx(uri, 1, 0, &config, &file, 0), VDM_E_INVALID_ARGUMENT);
    EXPECT_EQ(VDMFileOpenURIEx(uri, 0, 1, &config, &file, 0), VDM_E_INVALID_ARGUMENT);
    EXPECT_EQ(VDMFileOpenURIEx(uri, 0, 0, &config, &file, 0x1), VDM_E_INVALID_ARGUMENT);
    EXPECT_EQ(file, 0u);

    for (const char16_t *bad : {u"ftp://127.0.0.1/file", u"file:///etc/passwd", u"no uri at all", u"http://",
                                u"//127.0.0.1/file", u"http://127.0.0.1/\xD800"}) {
        EXPECT_EQ(VDMFileOpenURIEx(bad, 0, 0, nullptr, &file, 0x110), VDM_E_UNSUPPORTED_URI);
    }
    const std::u16string tooLong = u"http://127.0.0.1/" + std::u16string(70000, u'a');
    EXPECT_EQ(VDMFileOpenURIEx(tooLong.c_str(), 0, 0, nullptr, &file, 0x110), VDM_E_INVALID_ARGUMENT);

    ASSERT_EQ(VDMFileOpenURIEx(uri, 0, 0, nullptr, &file, 0x110), VDM_OK);
    EXPECT_EQ(VDMFilePause(file, 2), VDM_E_INVALID_ARGUMENT);
    EXPECT_EQ(VDMFilePause(file, -1), VDM_E_INVALID_ARGUMENT);
    EXPECT_EQ(VDMFileGetInfo(file, nullptr), VDM_E_INVALID_ARGUMENT);
    EXPECT_EQ(VDMFileGetOutputPath(file, nullptr, nullptr), VDM_E_INVALID_ARGUMENT);
    EXPECT_EQ(VDMFileCheck(file), VDM_NOT_READY);
    VDMFileInfo info {};
    EXPECT_EQ(VDMFileGetInfo(file, &info), VDM_OK);
    EXPECT_EQ(info.state, uint32_t(VDM_STATE_IDLE));
    EXPECT_EQ(info.total, VDM_SIZE_UNKNOWN) << "an unknown size never equals the received count";
    EXPECT_EQ(VDMFileClose(file), VDM_OK);
}

TEST(VexoDownloadManager, optionsGoThroughOneConfigurationThatAnOpenTakesOver)
{
    TempHome home;
    uint32_t config = 0;
    EXPECT_EQ(VDMSetFileConfigPluginOption(nullptr, u"urifile1", u"Login", u"me"), VDM_E_INVALID_ARGUMENT);
    EXPECT_EQ(VDMSetFileConfigPluginOption(&config, u"urifile1", u"Login", nullptr), VDM_E_INVALID_ARGUMENT);
    EXPECT_EQ(VDMSetFileConfigPluginOption(&config, u"urifile2", u"Login", u"me"), VDM_E_UNKNOWN_OPTION);
    EXPECT_EQ(VDMSetFileConfigPluginOption(&config, u"urifile1", u"Proxy", u"me"), VDM_E_UNKNOWN_OPTION);
    EXPECT_EQ(config, 0u);
    const std::u16string tooLong(5000, u'p');
    EXPECT_EQ(VDMSetFileConfigPluginOption(&config, u"urifile1", u"Password", tooLong.c_str()),
              VDM_E_INVALID_ARGUMENT);

    ASSERT_EQ(VDMSetFileConfigPluginOption(&config, u"urifile1", u"Login", u"me"), VDM_OK);
    const uint32_t handle = config;
    EXPECT_NE(handle, 0u);
    ASSERT_EQ(VDMSetFileConfigPluginOption(&config, u"urifile1", u"Password", u"pw"), VDM_OK);
    EXPECT_EQ(config, handle) << "the second option lands in the same configuration";

    uint32_t file = 0;
    ASSERT_EQ(VDMFileOpenURIEx(u"http://127.0.0.1:9/a", 0, 0, &config, &file, 0x110), VDM_OK);
    EXPECT_EQ(config, 0u) << "taken over";
    uint32_t stale = handle;
    EXPECT_EQ(VDMSetFileConfigPluginOption(&stale, u"urifile1", u"Login", u"x"), VDM_E_INVALID_HANDLE);
    uint32_t other = 0;
    EXPECT_EQ(VDMFileOpenURIEx(u"http://127.0.0.1:9/b", 0, 0, &stale, &other, 0x110), VDM_E_INVALID_HANDLE);
    EXPECT_EQ(VDMFileClose(file), VDM_OK);
}

TEST(VexoDownloadManager, outputPathReportsTheSizeItNeeds)
{
    TempHome home;
    uint32_t file = 0;
    ASSERT_EQ(VDMFileOpenURIEx(u"http://127.0.0.1:9/dir/Film%20%C3%A9t%C3%A9.mp4", 0, 0, nullptr, &file, 0x110),
              VDM_OK);
    uint32_t size = 0;
    ASSERT_EQ(VDMFileGetOutputPath(file, nullptr, &size), VDM_OK);
    ASSERT_GT(size, 4u);
    ASSERT_EQ(size % 2, 0u);

    std::vector<char16_t> small(size / 2 - 1, u'#');
    uint32_t smallSize = uint32_t(small.size() * 2);
    EXPECT_EQ(VDMFileGetOutputPath(file, small.data(), &smallSize), VDM_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(smallSize, size);
    EXPECT_EQ(small[0], u'#') << "nothing written into a buffer that is too small";

    std::vector<char16_t> exact(size / 2, u'#');
    uint32_t exactSize = size;
    ASSERT_EQ(VDMFileGetOutputPath(file, exact.data(), &exactSize), VDM_OK);
    EXPECT_EQ(exact.back(), u'\0');
    const std::string path = utf8(std::u16string(exact.data()));
    EXPECT_TRUE(path.starts_with(home.path().toStdString() + "/cache/downloads/")) << path;
    EXPECT_TRUE(path.ends_with("-Film \xC3\xA9t\xC3\xA9.mp4.part")) << path;
    EXPECT_EQ(VDMFileClose(file), VDM_OK);
}

TEST(VexoDownloadManager, entryPointsAreSafeFromManyThreadsAtOnce)
{
    TempHome home;
    HttpTestServer server;
    HttpBehaviour slow;
    slow.bytesPerSecond = 2 * 1024 * 1024;
    for (int i = 0; i < 6; ++i)
        server.serveGenerated("/f" + std::to_string(i), 4 * 1024 * 1024, slow);

    std::vector<uint32_t> files;
    for (int i = 0; i < 6; ++i)
        files.push_back(openFile(server.url("/f" + std::to_string(i))));
    std::atomic<bool> done {false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            uint32_t n = 0;
            while (!done.load()) {
                const uint32_t file = files[(n + t) % files.size()];
                VDMFileInfo info {};
                uint32_t size = 0;
                switch (n++ % 5) {
                case 0: VDMFilePause(file, 0); break;
                case 1: VDMFileGetInfo(file, &info); break;
                case 2: VDMFileCheck(file); break;
                case 3: VDMFileGetOutputPath(file, nullptr, &size); break;
                case 4: if (n % 7 == 0) VDMFilePause(file, 1); break;
                }
            }
        });
    }
    std::this_thread::sleep_for(150ms);
    for (const uint32_t file : files)
        EXPECT_EQ(VDMFileClose(file), VDM_OK);
    std::this_thread::sleep_for(20ms);
    done = true;
    for (auto &thread : threads)
        thread.join();
    for (const uint32_t file : files)
        EXPECT_EQ(VDMFileCheck(file), VDM_E_INVALID_HANDLE);
}
