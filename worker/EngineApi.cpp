#include "worker/EngineApi.h"

#include "engine/EngineBinding.h"

namespace Lumora {

EngineApi EngineApi::binding()
{
    EngineApi api;
    api.serviceIsRunning = &EngineBinding::VDMServiceIsRunning;
    api.setFileConfigPluginOption = &EngineBinding::VDMSetFileConfigPluginOption;
    api.fileOpenURIEx = &EngineBinding::VDMFileOpenURIEx;
    api.fileCheck = &EngineBinding::VDMFileCheck;
    api.filePause = &EngineBinding::VDMFilePause;
    api.fileGetInfo = &EngineBinding::VDMFileGetInfo;
    api.fileClose = &EngineBinding::VDMFileClose;
    api.fileGetOutputPath = &EngineBinding::VDMFileGetOutputPath;
    return api;
}

} // namespace Lumora
