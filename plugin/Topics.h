#pragma once
// Every topic the download manager publishes on the host's hub, defined once for the plugin and its
// hosts, with the payload helpers. Messages go out on the calling thread, after the change they
// announce; subscribers compare with these constants, never with a literal of their own.
//
//   topic                       payload                           sent when
//   "Media.Item.Changed"        item id (unsigned 64-bit)         an item's attribute was set
//   "Media.Item.Removed"        item id                           just before the item is removed
//   "Media.List.Changed"        download playlist id              the queue's order or content changed
//   "Download.Status.Changed"   item id                           right after a recorded status change
//   "Download.Status.Paused"    bool                              the manager-wide pause changed
//   "Show.Download"             empty                             a download was added
//   "Media.Item.Added"          video file id                     a finished download entered the library

#include <QString>
#include <QVariant>

#include <cstdint>

namespace Lumora::HubTopics {

inline constexpr const char MediaItemChanged[] = "Media.Item.Changed";
inline constexpr const char MediaItemRemoved[] = "Media.Item.Removed";
inline constexpr const char MediaListChanged[] = "Media.List.Changed";
inline constexpr const char DownloadStatusChanged[] = "Download.Status.Changed";
inline constexpr const char DownloadStatusPaused[] = "Download.Status.Paused";
inline constexpr const char ShowDownload[] = "Show.Download";
inline constexpr const char MediaItemAdded[] = "Media.Item.Added";

// Identifiers travel as unsigned 64-bit QVariants.
void sendId(const char *topic, uint64_t id);
void sendFlag(const char *topic, bool flag);
void sendEmpty(const char *topic);

// For subscribers: whether a received topic is this one.
inline bool is(const QString &received, const char *topic) { return received == QLatin1String(topic); }

} // namespace Lumora::HubTopics
