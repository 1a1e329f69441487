// The binding's search, resolution and fallbacks. The binding's state lives as long as the process,
// so each test runs in a process of its own (tests/engine/CMakeLists.txt), with the library search
// path it needs; this program has no runpath, so only LD_LIBRARY_PATH (on Windows, PATH) can put an
// engine on it. The same cases run on Windows, over the system's loader and registry.

#include "engine/EngineBinding.h"
#include "plugin/SettingKeys.h"

#include "os/StringConversion.h"
#include "platform/RegistryMessages.h"
#include "settings/VexoSettings.h"
#include "tests/platform/RegistryTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

using namespace Lumora;
namespace fs = std::filesystem;

namespace {

using RegistryTest::ScratchRegistry;

std::u16string utf16(const std::string &utf8)
{
    return VexoOS::utf8ToUtf16(utf8);
}

// The engine's file name in the fake engines' folders.
#ifdef _WIN32
constexpr char kEngineFile[] = "VexoDownloadManager.dll";
#else
constexpr char kEngineFile[] = "VexoDownloadManager.so";
#endif

void setInstallDir(const std::u16string &directory)
{
    lmtl::RefCountedPtr<lmds::IVexoSettings> settings;
    ASSERT_TRUE(lmds::openSettings("Settings/DesktopService", lmds::kOpenCreateUser, settings.receive()));
    ASSERT_TRUE(settings->setValue(std::u16string(Lumora::SettingKeys::InstallDir, Lumora::SettingKeys::InstallDir + sizeof Lumora::SettingKeys::InstallDir - 1), directory));
}

// Every forwarding function once, against whichever engine is loaded; identity is the fake's.
void expectFakeEngine(int identity)
{
    EXPECT_EQ(EngineBinding::VDMServiceIsRunning(), 100 + identity);
    uint32_t config = 0;
    EXPECT_EQ(EngineBinding::VDMSetFileConfigPluginOption(&config, u"urifile1", u"Login", u"me"), 0);
    EXPECT_EQ(config, 7u);
    uint32_t file = 0;
    EXPECT_EQ(EngineBinding::VDMFileOpenURIEx(u"http://x/y", 0, 0, &config, &file, 0x110), 0);
    EXPECT_EQ(file, uint32_t(40 + identity));
    EXPECT_EQ(EngineBinding::VDMFilePause(file, 0), 0);
    VDMFileInfo info {};
    EXPECT_EQ(EngineBinding::VDMFileGetInfo(file, &info), VDM_ENDED);
    EXPECT_EQ(info.total, uint64_t(identity));
    uint32_t size = 0;
    EXPECT_EQ(EngineBinding::VDMFileGetOutputPath(file, nullptr, &size), 0);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(EngineBinding::VDMFileClose(file), 0);
}

} // namespace

TEST(EngineBinding, searchPathFindsTheEngineWithoutReadingInstallDir)
{
    ScratchRegistry scratch;
#ifndef _WIN32
    // A hive that does not parse: any read of it would be reported.
    fs::create_directories(scratch.folder() / "registry");
    std::ofstream(scratch.folder() / "registry" / "user.reg") << "not a hive\n";
#endif
    std::atomic<int> messages {0};
    VexoOS::Platform::setRegistryMessageSink([&](const std::string &) { ++messages; });

    expectFakeEngine(1);
    EXPECT_EQ(EngineBinding::VDMFileCheck(41), 0);
    EXPECT_EQ(messages.load(), 0) << "the settings were read";
    EXPECT_EQ(EngineBinding::librarySearchCount(), 1u);
    VexoOS::Platform::setRegistryMessageSink({});
}

TEST(EngineBinding, searchPathWinsOverInstallDir)
{
    ScratchRegistry scratch;
    setInstallDir(utf16(FAKE_ENGINE_SECOND_DIR));
    expectFakeEngine(1);
}

TEST(EngineBinding, installDirFindsTheEngineOffTheSearchPath)
{
    ScratchRegistry scratch;
    setInstallDir(utf16(FAKE_ENGINE_SECOND_DIR));
    expectFakeEngine(2);
    EXPECT_EQ(EngineBinding::VDMFileCheck(42), 0);
    // Resolved once: later calls neither search nor read settings again.
    EXPECT_EQ(EngineBinding::librarySearchCount(), 1u);
}

TEST(EngineBinding, installDirWithCharactersBeyondAsciiLoads)
{
    ScratchRegistry scratch;
    const fs::path directory = scratch.folder() / u"Programme \u00e9t\u00e9 \u4e2d\u6587 \U0001F3AC";
    fs::create_directories(directory);
    fs::copy_file(fs::path(FAKE_ENGINE_SECOND_DIR) / kEngineFile, directory / kEngineFile);
    setInstallDir(directory.u16string());
    expectFakeEngine(2);
}

TEST(EngineBinding, absentEngineAnswersFallbacksAndEveryCallSearchesAgain)
{
    ScratchRegistry scratch;
    EXPECT_EQ(EngineBinding::VDMServiceIsRunning(), 0);
    uint32_t config = 5;
    uint32_t file = 9;
    uint32_t size = 3;
    VDMFileInfo info {};
    info.total = 77;
    EXPECT_EQ(EngineBinding::VDMSetFileConfigPluginOption(&config, u"urifile1", u"Login", u"me"), 11);
    EXPECT_EQ(EngineBinding::VDMFileOpenURIEx(u"http://x/y", 0, 0, &config, &file, 0x110), 11);
    EXPECT_EQ(EngineBinding::VDMFileCheck(file), 11);
    EXPECT_EQ(EngineBinding::VDMFilePause(file, 0), 11);
    EXPECT_EQ(EngineBinding::VDMFileGetInfo(file, &info), 11);
    EXPECT_EQ(EngineBinding::VDMFileClose(file), 11);
    EXPECT_EQ(EngineBinding::VDMFileGetOutputPath(file, nullptr, &size), 11);
    EXPECT_EQ(config, 5u);
    EXPECT_EQ(file, 9u);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(info.total, 77u) << "fallbacks touch no argument";
    EXPECT_EQ(EngineBinding::librarySearchCount(), 8u) << "each call searched";

    setInstallDir(u"");  // an empty value is no install directory
    EXPECT_EQ(EngineBinding::VDMServiceIsRunning(), 0);
    setInstallDir((scratch.folder() / "nowhere").u16string());
    EXPECT_EQ(EngineBinding::VDMServiceIsRunning(), 0);
    EXPECT_EQ(EngineBinding::librarySearchCount(), 10u);

    // Installed meanwhile: the next call finds it.
    setInstallDir(utf16(FAKE_ENGINE_SECOND_DIR));
    expectFakeEngine(2);
    EXPECT_EQ(EngineBinding::librarySearchCount(), 11u);
}

TEST(EngineBinding, engineWithoutOneEntryPointServesTheOthers)
{
    ScratchRegistry scratch;
    setInstallDir(utf16(FAKE_ENGINE_NO_CHECK_DIR));
    expectFakeEngine(3);
    EXPECT_EQ(EngineBinding::VDMFileCheck(43), 11);
    EXPECT_EQ(EngineBinding::VDMFileCheck(43), 11) << "looked up again, still missing";
    EXPECT_EQ(EngineBinding::librarySearchCount(), 1u) << "the library itself is not searched again";
}

TEST(EngineBinding, concurrentFirstCallsLoadTheLibraryOnce)
{
    ScratchRegistry scratch;
    setInstallDir(utf16(FAKE_ENGINE_SECOND_DIR));
    std::atomic<bool> go {false};
    std::atomic<int> right {0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            while (!go.load()) {
            }
            const bool ok = i % 2 ? EngineBinding::VDMServiceIsRunning() == 102 : EngineBinding::VDMFileCheck(42) == 0;
            right += ok ? 1 : 0;
        });
    }
    go = true;
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(right.load(), 8);
    EXPECT_EQ(EngineBinding::librarySearchCount(), 1u);
}

#ifndef _WIN32
// The engine itself is built on POSIX only.
TEST(EngineBinding, realEngineLoadsThroughInstallDir)
{
    ScratchRegistry scratch;
    setInstallDir(utf16(REAL_ENGINE_DIR));
    EXPECT_EQ(EngineBinding::VDMServiceIsRunning(), 1);
    EXPECT_EQ(EngineBinding::VDMFileCheck(0), VDM_E_INVALID_HANDLE);
    uint32_t file = 0;
    ASSERT_EQ(EngineBinding::VDMFileOpenURIEx(u"http://127.0.0.1:9/clip.mp4", 0, 0, nullptr, &file, 0x110), 0);
    EXPECT_EQ(EngineBinding::VDMFileCheck(file), VDM_NOT_READY);
    EXPECT_EQ(EngineBinding::VDMFileClose(file), 0);
}
#endif

namespace {
int32_t scriptedRunning()
{
    return 55;
}
int32_t scriptedCheck(uint32_t file)
{
    return int32_t(file) + 1;
}
} // namespace

TEST(EngineBinding, testTableStandsInForTheEngineWithoutASearch)
{
    ScratchRegistry scratch;
    EngineBinding::EntryPoints table;
    table.serviceIsRunning = scriptedRunning;
    table.fileCheck = scriptedCheck;
    EngineBinding::replaceEntryPointsForTesting(table);
    EXPECT_EQ(EngineBinding::VDMServiceIsRunning(), 55);
    EXPECT_EQ(EngineBinding::VDMFileCheck(4), 5);
    EXPECT_EQ(EngineBinding::VDMFileClose(4), 11) << "a missing member answers the fallback";
    EXPECT_EQ(EngineBinding::librarySearchCount(), 0u);
    EngineBinding::restoreEntryPointsForTesting();
    EXPECT_EQ(EngineBinding::VDMServiceIsRunning(), 0) << "no engine anywhere for this test";
}
