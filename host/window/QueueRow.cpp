#include "host/window/QueueRow.h"

#include <algorithm>

namespace Lumora::Window {

namespace {

constexpr int kFullPercent = 100;

} // namespace

void QueueRow::read()
{
    if (!item)
        return;
    id = item->id();
    title = item->title();
    if (title.isEmpty())
        title = item->name();
    status = item->status();
    partial = !item->isFreshStart();
    failure = item->failureReason();
    storedPercent = item->progress();
    size = item->size();
    source = item->sourceUrl();
    file = item->fileUrl();
    transfer = item->transferState();
}

bool QueueRow::readTransfer()
{
    if (!item)
        return false;
    const TransferState now = item->transferState();
    const bool changed = now.received != transfer.received || now.total != transfer.total
                         || now.retryInMs != transfer.retryInMs || now.tries != transfer.tries;
    transfer = now;
    return changed;
}

uint64_t QueueRow::receivedBytes() const
{
    if (status == Completed)
        return knownSize();
    if (transfer.received > 0)
        return transfer.received;
    if (partial && size > 0)
        return size * static_cast<uint64_t>(std::clamp(storedPercent, 0, kFullPercent)) / kFullPercent;
    return 0;
}

int QueueRow::percent() const
{
    if (status == Completed)
        return kFullPercent;
    const uint64_t total = knownSize();
    if (transfer.received > 0 && total > 0)
        return static_cast<int>(std::min<uint64_t>(transfer.received * kFullPercent / total, kFullPercent));
    return std::clamp(storedPercent, 0, kFullPercent);
}

} // namespace Lumora::Window
