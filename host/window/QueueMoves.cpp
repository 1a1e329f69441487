#include "host/window/QueueMoves.h"

#include <algorithm>
#include <unordered_set>

namespace Lumora::Window::QueueMoves {

namespace {

// The rows of the selected downloads that are in order, ascending.
std::vector<int64_t> selectedRows(const std::vector<uint64_t> &order, const std::vector<uint64_t> &selected)
{
    const std::unordered_set<uint64_t> wanted(selected.begin(), selected.end());
    std::vector<int64_t> rows;
    for (size_t i = 0; i < order.size(); ++i) {
        if (wanted.count(order[i]))
            rows.push_back(static_cast<int64_t>(i));
    }
    return rows;
}

void apply(std::vector<uint64_t> &order, int64_t from, int64_t to)
{
    const uint64_t id = order[static_cast<size_t>(from)];
    order.erase(order.begin() + from);
    order.insert(order.begin() + to, id);
}

} // namespace

std::vector<Move> up(const std::vector<uint64_t> &order, const std::vector<uint64_t> &selected)
{
    std::vector<Move> moves;
    int64_t free = 0;
    for (int64_t row : selectedRows(order, selected)) {
        if (row > free) {
            moves.push_back({order[static_cast<size_t>(row)], row - 1});
            free = row;
        } else {
            free = row + 1;
        }
    }
    return moves;
}

std::vector<Move> down(const std::vector<uint64_t> &order, const std::vector<uint64_t> &selected)
{
    std::vector<Move> moves;
    std::vector<int64_t> rows = selectedRows(order, selected);
    int64_t free = static_cast<int64_t>(order.size()) - 1;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const int64_t row = *it;
        if (row < free) {
            moves.push_back({order[static_cast<size_t>(row)], row + 1});
            free = row;
        } else {
            free = row - 1;
        }
    }
    return moves;
}

std::vector<Move> toPlace(const std::vector<uint64_t> &order, const std::vector<uint64_t> &selected, int64_t beforeRow)
{
    const std::unordered_set<uint64_t> wanted(selected.begin(), selected.end());
    // The block goes in front of this download; none means the end.
    uint64_t anchor = 0;
    bool anchored = false;
    for (size_t i = static_cast<size_t>(std::max<int64_t>(beforeRow, 0)); i < order.size(); ++i) {
        if (!wanted.count(order[i])) {
            anchor = order[i];
            anchored = true;
            break;
        }
    }
    // The first of the selection that stand right in front of the anchor, in their order, are in
    // place already: only the others move.
    const std::vector<int64_t> rows = selectedRows(order, selected);
    const int64_t anchorRow = anchored ? std::find(order.begin(), order.end(), anchor) - order.begin()
                                       : static_cast<int64_t>(order.size());
    size_t inPlace = 0;
    while (inPlace < rows.size() && rows[inPlace] == rows.front() + static_cast<int64_t>(inPlace))
        ++inPlace;
    if (rows.empty() || rows.front() + static_cast<int64_t>(inPlace) != anchorRow)
        inPlace = 0;

    std::vector<uint64_t> current = order;
    std::vector<Move> moves;
    for (size_t k = inPlace; k < rows.size(); ++k) {
        const uint64_t id = order[static_cast<size_t>(rows[k])];
        const int64_t from = std::find(current.begin(), current.end(), id) - current.begin();
        // Taken out first, then put in front of the anchor (or at the end).
        int64_t to = static_cast<int64_t>(current.size()) - 1;
        if (anchored) {
            const int64_t at = std::find(current.begin(), current.end(), anchor) - current.begin();
            to = from < at ? at - 1 : at;
        }
        if (to == from)
            continue;
        apply(current, from, to);
        moves.push_back({id, to});
    }
    return moves;
}

} // namespace Lumora::Window::QueueMoves
