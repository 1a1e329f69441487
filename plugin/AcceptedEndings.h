#pragma once
// Which addresses the download manager takes: those whose path ends in one of the player's video
// endings after its last ".", compared with letter case, or any address of the player's own
// video-on-demand scheme. Defined once for the plugin and its hosts (which check addresses before
// they hand them over, and explain a refusal).

#include <QString>
#include <QStringList>
#include <QUrl>

namespace Lumora::AcceptedEndings {

// The endings as one space-separated list, in the order the player declares them.
inline constexpr char List[] = "vexo xvid avi mkv mov mp4";
inline constexpr char VodScheme[] = "vexo_vod_file";

QStringList endings();
// The text after the path's last "." (the whole path when it has none).
QString endingOf(const QUrl &url);
bool accepts(const QUrl &url);

} // namespace Lumora::AcceptedEndings
