#include "host/cli/DownloadOutcome.h"

#include "host/player/ExitCode.h"

#include <QStringList>

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
    QStringList failed;
    for (uint64_t id : ids) {
        const auto item = lookup(id);
        const DownloadStatusValue status = item ? item->status() : Invalid;
        if (status == Completed) {
            ++completed;
            continue;
        }
        if (status == Failed)
            failed.append(QString::number(id));
        const FailureReason reason = status == Failed ? item->failureReason() : FailureReason();
        code = Host::combineExit(code, Host::exitCodeForFailure(reason));
    }
    const int total = static_cast<int>(ids.size());
    if (total == 0)
        return code;
    if (completed == total) {
        output.message(total == 1 ? QStringLiteral("done: the download completed")
                                  : QStringLiteral("done: all %1 downloads completed").arg(total));
    } else {
        // What to do next: a stopped download resumes by itself; a failed one stays in the queue
        // until the user tries it again.
        QString next;
        if (stopped)
            next = QStringLiteral("; they stay queued for the next run");
        else if (failed.size() == 1)
            next = QStringLiteral("; to try again: lumora retry %1").arg(failed.front());
        else if (!failed.isEmpty())
            next = QStringLiteral("; to try one again: lumora retry ID (failed: %1)").arg(failed.join(QStringLiteral(", ")));
        output.error(QStringLiteral("lumora: %1 of %2 download(s) did not complete%3")
                         .arg(total - completed)
                         .arg(total)
                         .arg(next));
    }
    return code;
}

} // namespace Lumora::Cli
