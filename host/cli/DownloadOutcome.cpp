#include "host/cli/DownloadOutcome.h"

#include "host/player/ExitCode.h"

namespace Lumora::Cli {

bool allEnded(const std::vector<uint64_t> &ids, const ItemLookup &lookup)
{
    for (uint64_t id : ids) {
        const auto item = lookup(id);
        if (!item)
            continue;
        // Completed is recorded before the file is placed and in the library; that is not the end yet.
        if (!isFinishedStatus(item->status()) || (item->status() == Completed && !item->pendingFinish().isEmpty()))
            return false;
    }
    return true;
}

int reportOutcome(const std::vector<uint64_t> &ids, const ItemLookup &lookup, Host::Output &output, bool stopped)
{
    int completed = 0;
    int code = Host::ExitOk;
    for (uint64_t id : ids) {
        const auto item = lookup(id);
        const DownloadStatusValue status = item ? item->status() : Invalid;
        if (status == Completed) {
            ++completed;
            continue;
        }
        const FailureReason reason = status == Failed ? item->failureReason() : FailureReason();
        code = Host::combineExit(code, reason.isSet() ? Host::exitCodeFor(reason.kind) : Host::ExitFailed);
    }
    const int total = static_cast<int>(ids.size());
    if (total == 0)
        return code;
    if (completed == total) {
        output.message(total == 1 ? QStringLiteral("done: the download completed")
                                  : QStringLiteral("done: all %1 downloads completed").arg(total));
    } else {
        output.error(QStringLiteral("lumora: %1 of %2 download(s) did not complete%3")
                         .arg(total - completed)
                         .arg(total)
                         .arg(stopped ? QStringLiteral("; they stay queued for the next run") : QString()));
    }
    return code;
}

} // namespace Lumora::Cli
