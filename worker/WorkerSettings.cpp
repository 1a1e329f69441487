#include "worker/WorkerSettings.h"

#include "host/lmrlibrary/LMRStringTools.h"
#include "host/lmrlibrary/OSUtilities.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/SettingKeys.h"
#include "settings/VexoSettings.h"

namespace Lumora::WorkerSettings {

// Settings objects belong to one thread at a time, and the worker reads from the scheduler's: each
// read opens its own, so no object is ever shared between threads.
QString readMediaFolder(const QString &fallback)
{
    lmtl::RefCountedPtr<lmds::IVexoSettings> component;
    lmtl::RefCountedPtr<lmds::IVexoSettings> group;
    if (!lmds::openSettings(SettingKeys::componentPath(OSUtilities::getComponentIdUTF8()),
                            lmds::kOpenCreateUserWithMachine, component.receive())
        || !component->openSubKey(SettingKeys::GeneralGroup, group.receive()))
        return fallback;
    std::string value = LMRStringTools::toStdStringUTF8(fallback);
    group->getValue(SettingKeys::MediaFolder, value);
    return LMRStringTools::fromStdStringUTF8(value);
}

} // namespace Lumora::WorkerSettings
