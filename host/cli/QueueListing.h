#pragma once
// The download queue as `lumora list` shows it: head first, one row per download.

#include "plugin/MediaLibrary.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <vector>

namespace Lumora::Cli {

struct QueueRow {
    uint64_t id = 0;
    DownloadStatusValue status = 0;
    int32_t progress = 0;
    uint64_t size = 0;
    QString title;
    QUrl source;
    QUrl file;
};

// Reads the playlist head first. An item that goes away during the walk (another thread removing
// it) ends the walk there.
std::vector<QueueRow> readQueue(MediaManagerInterface::PlaylistInterface *playlist);
QueueRow rowOf(MediaManagerInterface::QueuedFileInterface *item);

// One JSON array; each element has id, status, progress, size, title, source (credentials masked)
// and file (a local path, empty until the download has a target). Ends with a newline.
QString queueJson(const std::vector<QueueRow> &rows);
// Aligned columns with a header line; a note when the queue is empty.
QString queueTable(const std::vector<QueueRow> &rows);

} // namespace Lumora::Cli
