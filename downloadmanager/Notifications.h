#pragma once
// Every topic the plugin publishes on the host's hub, with the payload helpers. Messages go out on
// the calling thread, after the change they announce.

#include <QString>
#include <QVariant>

#include <cstdint>

namespace Lumora::Topics {

inline constexpr const char MediaItemChanged[] = "Media.Item.Changed";       // item id
inline constexpr const char MediaItemRemoved[] = "Media.Item.Removed";       // item id, before removal
inline constexpr const char MediaListChanged[] = "Media.List.Changed";       // download playlist id
inline constexpr const char DownloadStatusChanged[] = "Download.Status.Changed"; // item id
inline constexpr const char DownloadStatusPaused[] = "Download.Status.Paused";   // bool
inline constexpr const char ShowDownload[] = "Show.Download";                // empty
inline constexpr const char MediaItemAdded[] = "Media.Item.Added";           // video file id

// Identifiers travel as unsigned 64-bit QVariants.
void sendId(const char *topic, uint64_t id);
void sendFlag(const char *topic, bool flag);
void sendEmpty(const char *topic);

} // namespace Lumora::Topics
