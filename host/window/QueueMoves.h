#pragma once
// Where the selected downloads go when the user moves them: worked out on the queue's order as it
// stands when the moves are made, as a list of single moves for the download manager (each one "take
// the item out, put it in at this position", the playlist's own rule).

#include <cstdint>
#include <vector>

namespace Lumora::Window::QueueMoves {

struct Move {
    uint64_t id = 0;
    int64_t position = 0;
    friend bool operator==(const Move &, const Move &) = default;
};

// Each selected download one place toward the head. One that is at the head already, or right behind
// a selected one that cannot move, stays where it is; the selection keeps its own order.
std::vector<Move> up(const std::vector<uint64_t> &order, const std::vector<uint64_t> &selected);
// The same toward the end.
std::vector<Move> down(const std::vector<uint64_t> &order, const std::vector<uint64_t> &selected);
// The selected downloads as one block, in their queue order, in front of the download at row
// beforeRow of order (after the last one when beforeRow is past the end). A selected download at that
// row means the first unselected one after it.
std::vector<Move> toPlace(const std::vector<uint64_t> &order, const std::vector<uint64_t> &selected, int64_t beforeRow);

} // namespace Lumora::Window::QueueMoves
