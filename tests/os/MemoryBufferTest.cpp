// lmtl::MemoryBuffer: storage follows the count, zero-fill, and failures that leave it empty.

#include "os/MemoryBuffer.h"

#include <gtest/gtest.h>

TEST(MemoryBuffer, zeroFillAtTheSameCountClearsInPlace)
{
    lmtl::MemoryBuffer<char16_t> buffer;
    buffer.resize(10, true);
    ASSERT_EQ(buffer.size(), 10u);
    for (uint32_t i = 0; i < 10; ++i)
        buffer[i] = u'x';
    char16_t *storage = buffer.data();
    buffer.resize(10, true);
    EXPECT_TRUE(buffer.data() == storage); // same storage, not reallocated
    for (uint32_t i = 0; i < 10; ++i)
        EXPECT_EQ(buffer[i], 0);
}

TEST(MemoryBuffer, emptyWheneverThereIsNoStorage)
{
    lmtl::MemoryBuffer<char> buffer(16);
    EXPECT_EQ(buffer.size(), 16u);
    buffer.resize(0);
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_EQ(buffer.size(), 0u);

    // A byte size past 32 bits is refused without allocating.
    lmtl::MemoryBuffer<uint64_t> huge;
    huge.resize(0x20000001u);
    EXPECT_EQ(huge.data(), nullptr);
    EXPECT_EQ(huge.size(), 0u);

    lmtl::MemoryBuffer<char> moved(std::move(buffer));
    lmtl::MemoryBuffer<char> source(4);
    moved = std::move(source);
    EXPECT_EQ(moved.size(), 4u);
    EXPECT_EQ(source.size(), 0u);
    EXPECT_EQ(source.data(), nullptr);
}
