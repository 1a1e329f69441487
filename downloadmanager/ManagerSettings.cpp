#include "downloadmanager/ManagerSettings.h"

namespace Lumora::ManagerSettings {

// Until the settings store is wired in, the default stands.
bool resumeDownloadsOnStartup()
{
    return true;
}

void release() {}

} // namespace Lumora::ManagerSettings
