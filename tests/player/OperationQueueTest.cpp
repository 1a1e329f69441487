#include "host/player/OperationQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using Lumora::Host::OperationQueue;

TEST(OperationQueue, runsOperationsOneAtATimeInOrderOffTheCallersThread)
{
    std::vector<int> order;
    std::mutex mutex;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> onCaller{false};
    const auto caller = std::this_thread::get_id();
    {
        OperationQueue queue;
        for (int i = 0; i < 50; ++i) {
            queue.post([&, i] {
                if (running.fetch_add(1) != 0)
                    overlapped = true;
                if (std::this_thread::get_id() == caller)
                    onCaller = true;
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                {
                    std::lock_guard lock(mutex);
                    order.push_back(i);
                }
                running.fetch_sub(1);
            });
        }
        queue.finish();  // what was posted still runs
        queue.post([&] { order.push_back(-1); });  // later posts are dropped
    }
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_FALSE(overlapped);
    EXPECT_FALSE(onCaller);
}
