#include "engine/EngineBinding.h"

#include "lmtl/RefCountedPtr.h"
#include "os/CVexoMutex.h"
#include "os/SharedLibrary.h"
#include "platform/DynamicLibrary.h"
#include "plugin/SettingKeys.h"
#include "settings/IVexoSettings.h"
#include "settings/VexoSettings.h"

#include <atomic>
#include <string>

namespace Lumora::EngineBinding {

namespace {

constexpr const char16_t *kLibraryNames[] = {u"VexoDownloadManager.dll", u"VexoDownloadManager.so",
                                     u"libVexoDownloadManager.dylib"};
constexpr const char16_t *kInstallSuffixes[] = {u"/VexoDownloadManager.dll", u"/VexoDownloadManager.so",
                                        u"/libVexoDownloadManager.dylib"};
// The joined path must fit 131,072 UTF-16 units with its terminator; a longer one is not tried.
constexpr size_t kMaxJoinedPathUnits = 131072 - 1;

// One entry point: its name and, once resolved, its address. The address is read without the lock
// on every call, hence atomic; it is written once, under the lock.
struct Slot {
    const char16_t *name;
    std::atomic<FARPROC> address {nullptr};
};

enum SlotIndex { kIsRunning, kSetOption, kOpen, kCheck, kPause, kGetInfo, kClose, kGetOutputPath, kSlotCount };

Slot slots[kSlotCount] = {
    {u"VDMServiceIsRunning"}, {u"VDMSetFileConfigPluginOption"}, {u"VDMFileOpenURIEx"}, {u"VDMFileCheck"},
    {u"VDMFilePause"},        {u"VDMFileGetInfo"},               {u"VDMFileClose"},     {u"VDMFileGetOutputPath"},
};

HMODULE library = nullptr;  // guarded by the loader lock; set once, never freed
std::atomic<uint64_t> searches {0};

std::atomic<bool> testing {false};
EntryPoints testTable;

// Constructed on first use (the compiler guards that against two first callers at once) and
// destroyed at process exit. Its wait time-out is "no limit" from construction on: setting it again
// on every use, before locking, would be a write that callers racing for the lock share unguarded.
VexoOS::CVexoMutex &loaderLock()
{
    static VexoOS::CVexoMutex lock(nullptr, -1);
    return lock;
}

std::u16string readInstallDir()
{
    lmtl::RefCountedPtr<lmds::IVexoSettings> settings;
    if (!lmds::openSettings(Lumora::SettingKeys::componentPath(Lumora::SettingKeys::DesktopServiceComponent), lmds::kOpenUserWithMachineReadOnly, settings.receive())
        || !settings)
        return {};
    std::u16string directory;
    settings->getValue(std::string(Lumora::SettingKeys::InstallDir), directory);
    return directory;
}

HMODULE searchLibrary()
{
    searches.fetch_add(1, std::memory_order_relaxed);
    for (const char16_t *name : kLibraryNames) {
        HMODULE module = nullptr;
        if (VexoOS::loadSharedLibrary(name, &module) == VexoOS::kLibraryOk)
            return module;
    }
    const std::u16string directory = readInstallDir();
    if (directory.empty())
        return nullptr;
    for (const char16_t *suffix : kInstallSuffixes) {
        // Joined and loaded in UTF-16 throughout: the 8-bit copies of the library layer keep only
        // 7-bit text, which would lose an install directory such as "C:/Programme/Vidéo".
        const std::u16string path = directory + suffix;
        if (path.size() > kMaxJoinedPathUnits)
            continue;
        if (HMODULE module = LoadLibraryW(path.c_str()))
            return module;
    }
    return nullptr;
}

void resolve(Slot &slot)
{
    if (slot.address.load(std::memory_order_acquire))
        return;
    VexoOS::CAutoMutex guard(loaderLock());
    if (!library) {
        library = searchLibrary();
        if (!library)
            return;
    }
    FARPROC address = nullptr;
    if (VexoOS::findLibrarySymbol(library, slot.name, &address) == VexoOS::kLibraryOk)
        slot.address.store(address, std::memory_order_release);
}

// The function to call for an entry point: the test table's, or the engine's once resolved.
template <class Fn>
Fn target(SlotIndex index, Fn EntryPoints::*member)
{
    if (testing.load(std::memory_order_acquire))
        return testTable.*member;
    Slot &slot = slots[index];
    resolve(slot);
    return reinterpret_cast<Fn>(slot.address.load(std::memory_order_acquire));
}

} // namespace

int32_t VDMServiceIsRunning()
{
    const auto fn = target(kIsRunning, &EntryPoints::serviceIsRunning);
    return fn ? fn() : 0;
}

int32_t VDMSetFileConfigPluginOption(uint32_t *config, const char16_t *plugin, const char16_t *option,
                                     const char16_t *value)
{
    const auto fn = target(kSetOption, &EntryPoints::setFileConfigPluginOption);
    return fn ? fn(config, plugin, option, value) : kFallback;
}

int32_t VDMFileOpenURIEx(const char16_t *uri, int32_t reserved1, int32_t reserved2, uint32_t *config,
                         uint32_t *file, uint32_t flags)
{
    const auto fn = target(kOpen, &EntryPoints::fileOpenURIEx);
    return fn ? fn(uri, reserved1, reserved2, config, file, flags) : kFallback;
}

int32_t VDMFileCheck(uint32_t file)
{
    const auto fn = target(kCheck, &EntryPoints::fileCheck);
    return fn ? fn(file) : kFallback;
}

int32_t VDMFilePause(uint32_t file, int32_t pause)
{
    const auto fn = target(kPause, &EntryPoints::filePause);
    return fn ? fn(file, pause) : kFallback;
}

int32_t VDMFileGetInfo(uint32_t file, VDMFileInfo *info)
{
    const auto fn = target(kGetInfo, &EntryPoints::fileGetInfo);
    return fn ? fn(file, info) : kFallback;
}

int32_t VDMFileClose(uint32_t file)
{
    const auto fn = target(kClose, &EntryPoints::fileClose);
    return fn ? fn(file) : kFallback;
}

int32_t VDMFileGetOutputPath(uint32_t file, char16_t *buffer, uint32_t *size)
{
    const auto fn = target(kGetOutputPath, &EntryPoints::fileGetOutputPath);
    return fn ? fn(file, buffer, size) : kFallback;
}

EntryPoints forwardingTable()
{
    EntryPoints table;
    table.serviceIsRunning = &VDMServiceIsRunning;
    table.setFileConfigPluginOption = &VDMSetFileConfigPluginOption;
    table.fileOpenURIEx = &VDMFileOpenURIEx;
    table.fileCheck = &VDMFileCheck;
    table.filePause = &VDMFilePause;
    table.fileGetInfo = &VDMFileGetInfo;
    table.fileClose = &VDMFileClose;
    table.fileGetOutputPath = &VDMFileGetOutputPath;
    return table;
}

void replaceEntryPointsForTesting(const EntryPoints &entryPoints)
{
    testTable = entryPoints;
    testing.store(true, std::memory_order_release);
}

void restoreEntryPointsForTesting()
{
    testing.store(false, std::memory_order_release);
}

uint64_t librarySearchCount()
{
    return searches.load(std::memory_order_relaxed);
}

} // namespace Lumora::EngineBinding
