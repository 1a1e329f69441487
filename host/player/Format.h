#pragma once
// How lumora writes sizes, speeds, times, statuses and addresses for people and for scripts.

#include "plugin/DownloadStatus.h"

#include <QString>
#include <QUrl>

#include <cstdint>

namespace Lumora::Host {

// "0 B", "512 B", "1.5 KiB", "12.3 MiB", "1.00 GiB": binary units, three significant digits.
QString formatBytes(uint64_t bytes);
// The bytes a download of size bytes has at percent (clamped to 0..100), without overflow.
uint64_t bytesAtPercent(uint64_t size, int32_t percent);
// formatBytes per second; "-" when nothing is known yet.
QString formatRate(double bytesPerSecond);
// "12s", "1m05s", "2h03m"; "-" for 0 (the plugin's "no estimate yet").
QString formatDuration(uint64_t milliseconds);

// The status as the list shows it: "Queued", "Downloading", "Completed", ... ("Unknown" outside 1..8).
QString statusName(DownloadStatusValue status);

// The address with its user name and password replaced by "***", so that lists and logs can be
// shared without leaking credentials. Everything else is kept as given.
QString maskedAddress(const QUrl &url);
// A local file URL as a path; anything else as its text (credentials masked); empty for none.
QString displayFile(const QUrl &url);

// Text fitted into width columns, cut with "…" when too long.
QString elide(const QString &text, int width);

} // namespace Lumora::Host
