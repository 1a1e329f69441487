#include "plugin/DownloadStatus.h"

namespace Lumora {

const char *downloadStatusName(DownloadStatusValue s)
{
    switch (s) {
    case Queued: return "Queued";
    case Active: return "Active";
    case Downloading: return "Downloading";
    case Completed: return "Completed";
    case Interrupted: return "Interrupted";
    case Failed: return "Failed";
    case Waiting: return "Waiting";
    case Invalid: return "Invalid";
    }
    return "Unknown";
}

} // namespace Lumora
