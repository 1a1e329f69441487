#pragma once
// The download engine's entry points as the worker calls them. The player's worker goes through the
// engine binding (which loads the engine on first use); tests hand the worker a scripted table.

#include "vdm/VexoDownloadManager.h"

namespace Lumora {

struct EngineApi {
    VDMServiceIsRunningFn serviceIsRunning = nullptr;
    VDMSetFileConfigPluginOptionFn setFileConfigPluginOption = nullptr;
    VDMFileOpenURIExFn fileOpenURIEx = nullptr;
    VDMFileCheckFn fileCheck = nullptr;
    VDMFilePauseFn filePause = nullptr;
    VDMFileGetInfoFn fileGetInfo = nullptr;
    VDMFileCloseFn fileClose = nullptr;
    VDMFileGetOutputPathFn fileGetOutputPath = nullptr;

    // The binding's forwarding functions.
    static EngineApi binding();
};

// What the worker passes when it opens a file: follow redirects, continue a partial file.
inline constexpr uint32_t EngineOpenFlags = 0x110;
inline constexpr char16_t EnginePluginName[] = u"urifile1";
inline constexpr char16_t EngineLoginOption[] = u"Login";
inline constexpr char16_t EnginePasswordOption[] = u"Password";

} // namespace Lumora
