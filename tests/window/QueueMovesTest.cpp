// The single moves the window asks for, replayed the way the playlist applies them (take out, put in
// at the position), must leave the queue in the order the user meant.

#include "host/window/QueueMoves.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Lumora::Window;

namespace {

using Order = std::vector<uint64_t>;

Order replay(Order order, const std::vector<QueueMoves::Move> &moves)
{
    for (const QueueMoves::Move &move : moves) {
        const auto from = std::find(order.begin(), order.end(), move.id);
        EXPECT_NE(from, order.end());
        order.erase(from);
        order.insert(order.begin() + std::min<int64_t>(move.position, static_cast<int64_t>(order.size())), move.id);
    }
    return order;
}

} // namespace

TEST(QueueMoves, upMovesEachSelectedOnePlaceAndStopsAtTheHead)
{
    const Order order{1, 2, 3, 4, 5};
    EXPECT_EQ(replay(order, QueueMoves::up(order, {3, 5})), (Order{1, 3, 2, 5, 4}));
    // A block at the head stays; the one behind it joins it.
    EXPECT_EQ(replay(order, QueueMoves::up(order, {1, 2, 4})), (Order{1, 2, 4, 3, 5}));
    EXPECT_TRUE(QueueMoves::up(order, {1}).empty());
    EXPECT_TRUE(QueueMoves::up(order, {42}).empty());
}

TEST(QueueMoves, downMovesEachSelectedOnePlaceAndStopsAtTheEnd)
{
    const Order order{1, 2, 3, 4, 5};
    EXPECT_EQ(replay(order, QueueMoves::down(order, {1, 3})), (Order{2, 1, 4, 3, 5}));
    EXPECT_EQ(replay(order, QueueMoves::down(order, {2, 4, 5})), (Order{1, 3, 2, 4, 5}));
    EXPECT_TRUE(QueueMoves::down(order, {5}).empty());
}

TEST(QueueMoves, toPlacePutsTheSelectionAsOneBlockInItsOwnOrder)
{
    const Order order{1, 2, 3, 4, 5, 6};
    // To the top, as "move to top" does.
    EXPECT_EQ(replay(order, QueueMoves::toPlace(order, {5, 3}, 0)), (Order{3, 5, 1, 2, 4, 6}));
    // Dragged down, in front of the row dropped on.
    EXPECT_EQ(replay(order, QueueMoves::toPlace(order, {1, 2}, 4)), (Order{3, 4, 1, 2, 5, 6}));
    // Dragged up.
    EXPECT_EQ(replay(order, QueueMoves::toPlace(order, {6, 4}, 1)), (Order{1, 4, 6, 2, 3, 5}));
    // Past the end, and onto a row of the selection itself.
    EXPECT_EQ(replay(order, QueueMoves::toPlace(order, {2, 3}, 99)), (Order{1, 4, 5, 6, 2, 3}));
    EXPECT_EQ(replay(order, QueueMoves::toPlace(order, {2, 4}, 1)), (Order{1, 2, 4, 3, 5, 6}));
    // Already in place: nothing to ask for.
    EXPECT_TRUE(QueueMoves::toPlace(order, {1, 2}, 0).empty());
}
