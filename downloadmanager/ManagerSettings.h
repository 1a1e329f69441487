#pragma once
// The download manager's own settings (plugin/SettingKeys.h), read through the process-wide settings
// object of its component.

namespace Lumora::ManagerSettings {

// Whether the queue starts running when the plugin loads.
bool resumeDownloadsOnStartup();
// Drops the process-wide settings object (at plugin destruction).
void release();

} // namespace Lumora::ManagerSettings
