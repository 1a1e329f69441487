#include "plugin/QueueRules.h"

#include <algorithm>

namespace Lumora::QueueRules {

void walk(PlaylistInterface *playlist, const std::function<bool(int64_t, QueuedFileInterface *)> &visit)
{
    if (!playlist)
        return;
    const int64_t count = playlist->count();
    ItemPtr item;
    for (int64_t index = 0; index < count; ++index) {
        if (!playlist->itemAt(index, item.receive()) || !item)
            return;
        if (!visit(index, item.get()))
            return;
    }
}

ItemPtr find(PlaylistInterface *playlist, const std::function<bool(QueuedFileInterface *)> &accept)
{
    ItemPtr found;
    walk(playlist, [&](int64_t, QueuedFileInterface *item) {
        if (!accept(item))
            return true;
        found.reset(item);
        return false;
    });
    return found;
}

ItemPtr firstEligible(PlaylistInterface *playlist)
{
    return find(playlist, [](QueuedFileInterface *item) { return isEligibleStatus(item->status()); });
}

ItemPtr eligibleAfter(PlaylistInterface *playlist, uint64_t runningId)
{
    ItemPtr next = find(playlist, [runningId](QueuedFileInterface *item) {
        return item->id() != runningId && isEligibleStatus(item->status());
    });
    if (next && next->status() == Waiting)
        return {};
    return next;
}

std::optional<int64_t> insertionPoint(PlaylistInterface *playlist, uint64_t newId)
{
    if (!playlist)
        return std::nullopt;
    int64_t n = std::max<int64_t>(playlist->count(), 0);
    ItemPtr other;
    while (n > 0) {
        if (!playlist->itemAt(n - 1, other.receive()) || !other)
            return std::nullopt;
        if (other->id() != newId && !isFinishedStatus(other->status()))
            break;
        --n;
    }
    return n;
}

std::vector<ItemPtr> completedForClearing(PlaylistInterface *playlist)
{
    std::vector<ItemPtr> completed;
    walk(playlist, [&](int64_t, QueuedFileInterface *item) {
        if (item->status() == Completed)
            completed.emplace_back(item);
        return true;
    });
    std::reverse(completed.begin(), completed.end());
    return completed;
}

int64_t resolvePosition(PlaylistInterface *playlist, int64_t position)
{
    if (position >= 0 || !playlist)
        return position;
    return playlist->count();
}

} // namespace Lumora::QueueRules
