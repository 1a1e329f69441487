#include "plugin/StatusTransition.h"

#include "host/lmrlibrary/VerboseLog.h"
#include "plugin/Topics.h"

namespace Lumora {

namespace {

void logTransition(uint64_t id, DownloadStatusValue from, DownloadStatusValue to, const FailureReason &reason)
{
    if (from == to)
        return;
    QString line = QStringLiteral("%1: %2 -> %3")
                       .arg(id)
                       .arg(QLatin1String(downloadStatusName(from)), QLatin1String(downloadStatusName(to)));
    if (reason.isSet())
        line += QStringLiteral(" (%1)").arg(reason.message());
    VerboseLog::write(line);
}

bool carriesReason(DownloadStatusValue status)
{
    return status == Failed || status == Invalid;
}

} // namespace

bool changeStatus(MediaManagerInterface::QueuedFileInterface *item, DownloadStatusValue to, const StatusRoute &route,
                  QueueOrderKeeper *keeper, const FailureReason *reason)
{
    if (!item)
        return false;
    const DownloadStatusValue from = item->status();
    const bool taken = item->setStatus(to);
    if (!taken && route.stopOnRefusal)
        return false;
    if (taken) {
        if (carriesReason(to)) {
            if (reason)
                item->setFailureReason(*reason);
        } else if (item->failureReason().isSet()) {
            item->setFailureReason(FailureReason());
        }
        logTransition(item->id(), from, to, carriesReason(to) ? item->failureReason() : FailureReason());
    }
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
