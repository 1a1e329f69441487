#pragma once
// The download manager's own settings, read through the process-wide settings object of its
// component ("Settings/" + component id): group "DownloadManager".

namespace Lumora::ManagerSettings {

// "ResumeDownloadsOnStartup", default true: whether the queue starts running when the plugin loads.
bool resumeDownloadsOnStartup();
// Drops the process-wide settings object (at plugin destruction).
void release();

} // namespace Lumora::ManagerSettings
