#include "plugin/AllocatedString.h"

#include <gtest/gtest.h>

using VSE::AllocatedString;

TEST(AllocatedString, copiesTextWithTerminatorAndComparesExactly)
{
    AllocatedString<char> a("com.vexo.x");
    AllocatedString<char> b(a);
    EXPECT_NE(a.data(), b.data());
    EXPECT_EQ(b.length(), 10);
    EXPECT_EQ(b.data()[10], '\0');
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == AllocatedString<char>("com.vexo.X"));
}

TEST(AllocatedString, nullAndEmptyAreEqualAndNullCopiesAllocateNothing)
{
    AllocatedString<char> null(static_cast<const char *>(nullptr));
    AllocatedString<char> empty("");
    EXPECT_TRUE(null.isNull());
    EXPECT_FALSE(empty.isNull());
    EXPECT_TRUE(null == empty);
    AllocatedString<char> copy(null);
    EXPECT_TRUE(copy.isNull());
    EXPECT_EQ(copy.length(), 0);
}

TEST(AllocatedString, recordsThisModulesAllocatorPerCharacterType)
{
    {
        AllocatedString<char> s("abc");
        EXPECT_EQ(s.allocator(), &VSE::StandardAllocator<char>::instance());
    }
    AllocatedString<unsigned char> bytes(reinterpret_cast<const unsigned char *>("\xC3\xA9t\xC3\xA9"));
    EXPECT_EQ(bytes.length(), 5);
    EXPECT_EQ(bytes.allocator(), &VSE::StandardAllocator<unsigned char>::instance());
}

TEST(AllocatedString, assignmentAndMoveKeepOwnershipSingle)
{
    AllocatedString<char> a("one");
    AllocatedString<char> b("two");
    a = b;
    EXPECT_TRUE(a == b);
    AllocatedString<char> c(std::move(a));
    EXPECT_TRUE(a.isNull());
    EXPECT_TRUE(c == b);
    c = c;
    EXPECT_TRUE(c == b);
}
