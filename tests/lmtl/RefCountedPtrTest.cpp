#include "lmtl/RefCountedPtr.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct Counted : lmtl::RefCountedImpl<> {
    explicit Counted(int *deaths) : deaths(deaths) {}
    ~Counted() override { ++*deaths; }
    int *deaths;
};

struct Other : lmtl::RefCountedImpl<> {};

} // namespace

TEST(RefCountedPtr, resetToTheHeldObjectKeepsItAlive)
{
    int deaths = 0;
    auto p = lmtl::adopt(new Counted(&deaths));
    p.reset(p.get());
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(p->getRefCount(), 1);
    p = p;  // self-assignment
    EXPECT_EQ(p->getRefCount(), 1);
    p.reset();
    EXPECT_EQ(deaths, 1);
}

TEST(RefCountedPtr, copiesAndMovesBalanceTheCount)
{
    int deaths = 0;
    auto p = lmtl::adopt(new Counted(&deaths));
    {
        lmtl::RefCountedPtr<Counted> copy = p;
        EXPECT_EQ(p->getRefCount(), 2);
        lmtl::RefCountedPtr<Counted> moved = std::move(copy);
        EXPECT_EQ(p->getRefCount(), 2);
        EXPECT_FALSE(copy);
    }
    EXPECT_EQ(p->getRefCount(), 1);
    Counted *raw = p.detach();
    EXPECT_EQ(deaths, 0);
    raw->release();
    EXPECT_EQ(deaths, 1);
}

TEST(RefCountedPtr, receiveDropsWhatWasHeldAndAdoptsTheOutParameter)
{
    int deaths = 0;
    auto p = lmtl::adopt(new Counted(&deaths));
    Counted **slot = p.receive();
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(*slot, nullptr);
    *slot = new Counted(&deaths);  // a callee handing out one reference
    EXPECT_EQ(p->getRefCount(), 1);
    p = nullptr;
    EXPECT_EQ(deaths, 2);
}

TEST(RefCountedQIPtr, downcastIsEmptyWhenTheClassDoesNotMatch)
{
    int deaths = 0;
    auto counted = lmtl::adopt(new Counted(&deaths));
    lmtl::RefCountedPtr<lmtl::IRefCounted> base(counted.get());
    lmtl::RefCountedQIPtr<Counted> same(base);
    lmtl::RefCountedQIPtr<Other> other(base);
    EXPECT_EQ(same.get(), counted.get());
    EXPECT_FALSE(other);
    EXPECT_EQ(counted->getRefCount(), 3);
}

TEST(RefCountedImpl, concurrentRetainAndReleaseLoseNoUpdate)
{
    int deaths = 0;
    auto p = lmtl::adopt(new Counted(&deaths));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                lmtl::RefCountedPtr<Counted> local(p.get());
            }
        });
    }
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(p->getRefCount(), 1);
    EXPECT_EQ(deaths, 0);
}
