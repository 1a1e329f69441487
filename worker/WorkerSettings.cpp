#include "worker/WorkerSettings.h"

namespace Lumora::WorkerSettings {

// Until the settings store is wired in, the default stands.
QString readMediaFolder(const QString &fallback)
{
    return fallback;
}

} // namespace Lumora::WorkerSettings
