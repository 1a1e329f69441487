#pragma once
// Every setting the download manager and its hosts share: where the settings store keeps it and
// under which name. Settings are opened at "Settings/" + a component name; the store maps that to
// the registry key SOFTWARE\Vexo\Settings\<component> (per user, with the machine-wide key as
// fallback). Header-only, so that every layer of the plugin may name a setting without linking
// anything.
//
//   component            group              value                       meaning
//   <host component id>  "General"          "MediaFolder"               where finished downloads go
//   <host component id>  "DownloadManager"  "ResumeDownloadsOnStartup"  the queue runs when the player starts
//   "DesktopService"     -                  "InstallDir"                the player's installation folder,
//                                                                       where the engine binding looks last

#include <string>
#include <string_view>

namespace Lumora::SettingKeys {

inline constexpr char ComponentPrefix[] = "Settings/";

inline constexpr char GeneralGroup[] = "General";
inline constexpr char MediaFolder[] = "MediaFolder";

inline constexpr char DownloadManagerGroup[] = "DownloadManager";
inline constexpr char ResumeDownloadsOnStartup[] = "ResumeDownloadsOnStartup";
inline constexpr bool ResumeDownloadsOnStartupDefault = true;

inline constexpr char DesktopServiceComponent[] = "DesktopService";
inline constexpr char InstallDir[] = "InstallDir";

// The settings path of a component: "Settings/" + component.
inline std::string componentPath(std::string_view component)
{
    return std::string(ComponentPrefix) + std::string(component);
}

// A group below a component: "Settings/<component>/<group>".
inline std::string groupPath(std::string_view component, std::string_view group)
{
    return componentPath(component) + '/' + std::string(group);
}

} // namespace Lumora::SettingKeys
