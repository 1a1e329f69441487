#pragma once
// The binding to the download engine: finds and loads the engine library on first use, resolves
// its eight C entry points by name, and offers one forwarding function per entry point, with the
// entry point's own name, arguments and result, in the namespace Lumora::EngineBinding.
//
// The plug-in never links the engine. The download worker is the only caller; what the entry points
// take and answer is documented once, in vdm/VexoDownloadManager.h.
//
// FINDING THE ENGINE (on the first call of any forwarding function whose entry point is not yet
// resolved, under one process-wide loader lock):
//   1. the plain file names "VexoDownloadManager.dll", "VexoDownloadManager.so" and
//      "libVexoDownloadManager.dylib", in this order, through the system's library search
//      (LD_LIBRARY_PATH, the caller's runpath, the system folders; on Windows its own order, the
//      program's folder and PATH among them);
//   2. if none loads: the player's installation folder (SettingKeys::InstallDir of the settings
//      component SettingKeys::DesktopServiceComponent, per user, else machine-wide, read-only),
//      joined with "/" and the same three names. An empty value
//      counts as missing. A directory with characters outside 7-bit ASCII loads like any other.
// The library, once loaded, stays loaded until the process ends, and a resolved entry point is
// never looked up again. Nothing of a failed search is remembered: while the engine cannot be
// found, every call searches again (settings included), so an engine installed later is found.
//
// FALLBACKS: when the engine or one of its entry points cannot be found, VDMServiceIsRunning
// answers 0 and every other forwarding function answers kFallback (11, VDM_E_UNAVAILABLE) without
// touching its arguments. An engine that lacks one entry point serves the other seven.
//
// THREADS: every function is safe from any thread. Calls into the engine are not serialised here.
//
// TESTS: replaceEntryPointsForTesting makes every forwarding function call a table of the test's
// functions instead of the engine (a null member answers the fallback), without any search; see
// tests/engine for fake engine libraries that the real search finds.

#include "vdm/VexoDownloadManager.h"

#include <cstdint>

namespace Lumora::EngineBinding {

inline constexpr int32_t kFallback = VDM_E_UNAVAILABLE;

int32_t VDMServiceIsRunning();
int32_t VDMSetFileConfigPluginOption(uint32_t *config, const char16_t *plugin, const char16_t *option,
                                     const char16_t *value);
int32_t VDMFileOpenURIEx(const char16_t *uri, int32_t reserved1, int32_t reserved2, uint32_t *config,
                         uint32_t *file, uint32_t flags);
int32_t VDMFileCheck(uint32_t file);
int32_t VDMFilePause(uint32_t file, int32_t pause);
int32_t VDMFileGetInfo(uint32_t file, VDMFileInfo *info);
int32_t VDMFileClose(uint32_t file);
int32_t VDMFileGetOutputPath(uint32_t file, char16_t *buffer, uint32_t *size);

// The engine's function table, declared once: the binding's forwarding functions fill it for the
// player, and tests hand the worker (and the binding) tables of their own.
struct EntryPoints {
    VDMServiceIsRunningFn serviceIsRunning = nullptr;
    VDMSetFileConfigPluginOptionFn setFileConfigPluginOption = nullptr;
    VDMFileOpenURIExFn fileOpenURIEx = nullptr;
    VDMFileCheckFn fileCheck = nullptr;
    VDMFilePauseFn filePause = nullptr;
    VDMFileGetInfoFn fileGetInfo = nullptr;
    VDMFileCloseFn fileClose = nullptr;
    VDMFileGetOutputPathFn fileGetOutputPath = nullptr;
};
// The forwarding functions above, as a table.
EntryPoints forwardingTable();

// The test seam. From now on the forwarding functions call these. Call it while no engine call is in flight.
void replaceEntryPointsForTesting(const EntryPoints &entryPoints);
// Back to the engine (whatever was loaded or resolved before stays).
void restoreEntryPointsForTesting();
// How many times the library search has run in this process.
uint64_t librarySearchCount();

} // namespace Lumora::EngineBinding
