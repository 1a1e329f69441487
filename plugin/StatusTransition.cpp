#include "plugin/StatusTransition.h"

#include "host/lmrlibrary/VerboseLog.h"
#include "plugin/Topics.h"

namespace Lumora {

namespace {

void logTransition(uint64_t id, DownloadStatusValue from, DownloadStatusValue to)
{
    if (from == to)
        return;
    VerboseLog::write(QStringLiteral("%1: %2 -> %3")
                          .arg(id)
                          .arg(QLatin1String(downloadStatusName(from)), QLatin1String(downloadStatusName(to))));
}

} // namespace

bool changeStatus(MediaManagerInterface::QueuedFileInterface *item, DownloadStatusValue to, const StatusRoute &route,
                  QueueOrderKeeper *keeper)
{
    if (!item)
        return false;
    const DownloadStatusValue from = item->status();
    const bool taken = item->setStatus(to);
    if (taken)
        logTransition(item->id(), from, to);
    else if (route.stopOnRefusal)
        return false;
    const bool committed = !route.commit || item->commit();
    if (!committed && route.stopOnRefusal)
        return false;
    if (route.announceItem)
        HubTopics::sendId(HubTopics::MediaItemChanged, item->id());
    if (route.announceStatus)
        HubTopics::sendId(HubTopics::DownloadStatusChanged, item->id());
    if (route.moveFinishedToEnd && keeper && isFinishedStatus(to))
        keeper->moveToEnd(item);
    return taken && committed;
}

} // namespace Lumora
