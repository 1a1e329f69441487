#pragma once
// The free-space check before a fresh download starts. A download needs room for the engine's
// partial file and for the finished file beside it, plus a little for the engine's own records:
//     required = 2 × size + ⌊⌊size ÷ 1024⌋ ÷ 7⌋   (bytes, 64-bit, saturating)
// When the target's drive is short, the host's listener is told; when the temporary download
// directory could not be moved into the media folder and its own drive is short, the user is warned.

#include "plugin/FailureReason.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace Lumora {

class DownloadListener;

namespace DiskSpace {

uint64_t requiredBytes(uint64_t size);

// The drive text of a path: what precedes its first ":", upper-cased, then ":" (the whole path
// upper-cased when it has no ":").
QString driveText(const QString &path);

// Free bytes of the file system holding path; false when it cannot be read. Tests replace it.
using FreeSpaceReader = std::function<bool(const QString &path, uint64_t *freeBytes)>;
FreeSpaceReader defaultFreeSpaceReader();

struct Check {
    QString itemName;
    QString targetPath;
    uint64_t size = 0;
    bool tempParentSet = false;  // the temporary download directory lies in the media folder
    DownloadListener *listener = nullptr;
    FreeSpaceReader freeSpace;
};

// True when the download may start. A free space that cannot be read counts as enough. When it may
// not, shortage (may be null) says where room is missing and how much: a not-enough-space reason.
bool enoughSpace(const Check &check, FailureReason *shortage = nullptr);

// The warning shown when the temporary directory's drive is short, translated in the context
// "Download Thread".
QString warningTitle();
QString warningText(const QString &itemName, const QString &drive, uint64_t requiredBytes);

} // namespace DiskSpace
} // namespace Lumora
