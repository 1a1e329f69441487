#include "downloadmanager/ManagerSettings.h"

#include "host/lmrlibrary/OSUtilities.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/SettingKeys.h"
#include "settings/VexoSettings.h"

#include <mutex>

namespace Lumora::ManagerSettings {

namespace {

// The process-wide settings object of the plug-in's component, made on first use. Settings objects
// belong to one thread at a time, so every use goes through this mutex.
std::mutex settingsMutex;
lmtl::RefCountedPtr<lmds::IVexoSettings> componentSettings;

lmds::IVexoSettings *settingsLocked()
{
    if (!componentSettings)
        lmds::openSettings(SettingKeys::componentPath(OSUtilities::getComponentIdUTF8()), lmds::kOpenCreateUserWithMachine,
                           componentSettings.receive());
    return componentSettings.get();
}

} // namespace

bool resumeDownloadsOnStartup()
{
    bool resume = SettingKeys::ResumeDownloadsOnStartupDefault;
    std::lock_guard lock(settingsMutex);
    lmtl::RefCountedPtr<lmds::IVexoSettings> group;
    if (lmds::IVexoSettings *settings = settingsLocked(); settings && settings->openSubKey(SettingKeys::DownloadManagerGroup, group.receive()) && group)
        group->getValue(SettingKeys::ResumeDownloadsOnStartup, resume);
    return resume;
}

void release()
{
    std::lock_guard lock(settingsMutex);
    componentSettings = nullptr;
}

} // namespace Lumora::ManagerSettings
