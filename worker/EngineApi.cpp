#include "worker/EngineApi.h"

namespace Lumora {

namespace {

// Until the binding is wired in, the engine counts as absent: the answers a binding gives when it
// cannot load the engine.
int32_t notRunning() { return 0; }
int32_t unavailableOption(uint32_t *, const char16_t *, const char16_t *, const char16_t *) { return VDM_E_UNAVAILABLE; }
int32_t unavailableOpen(const char16_t *, int32_t, int32_t, uint32_t *, uint32_t *, uint32_t) { return VDM_E_UNAVAILABLE; }
int32_t unavailableFile(uint32_t) { return VDM_E_UNAVAILABLE; }
int32_t unavailablePause(uint32_t, int32_t) { return VDM_E_UNAVAILABLE; }
int32_t unavailableInfo(uint32_t, VDMFileInfo *) { return VDM_E_UNAVAILABLE; }
int32_t unavailablePath(uint32_t, char16_t *, uint32_t *) { return VDM_E_UNAVAILABLE; }

} // namespace

EngineApi EngineApi::binding()
{
    EngineApi api;
    api.serviceIsRunning = notRunning;
    api.setFileConfigPluginOption = unavailableOption;
    api.fileOpenURIEx = unavailableOpen;
    api.fileCheck = unavailableFile;
    api.filePause = unavailablePause;
    api.fileGetInfo = unavailableInfo;
    api.fileClose = unavailableFile;
    api.fileGetOutputPath = unavailablePath;
    return api;
}

} // namespace Lumora
