#pragma once
// The worker's one setting: the media folder, where finished downloads are placed
// (plugin/SettingKeys.h).

#include <QString>

namespace Lumora::WorkerSettings {

// The stored media folder, or fallback when the setting cannot be read or is missing. An empty
// stored value is answered as it is; callers decide what an empty folder means.
QString readMediaFolder(const QString &fallback);

} // namespace Lumora::WorkerSettings
