#include "plugin/DownloadStatus.h"

namespace Lumora {

const char *downloadStatusName(DownloadStatusValue s)
{
    switch (s) {
    case Queued: return "queued";
    case Active: return "active";
    case Downloading: return "downloading";
    case Completed: return "completed";
    case Interrupted: return "interrupted";
    case Failed: return "failed";
    case Waiting: return "waiting";
    case Invalid: return "invalid";
    }
    return "unknown";
}

} // namespace Lumora
