// The shared-library layer's status codes and name copies, and ScopedDLL's ownership.

#include "os/ScopedDLL.h"
#include "os/SharedLibrary.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <dlfcn.h>
#endif

using namespace VexoOS;

namespace {

std::u16string widen(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

bool stillLoaded(const char *path)
{
#ifdef _WIN32
    return GetModuleHandleA(path) != nullptr;
#else
    void *handle = ::dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        ::dlclose(handle);
    return handle != nullptr;
#endif
}

} // namespace

TEST(SharedLibrary, loadAndFindAnswerWithCodesAndWriteOnlyOnSuccess)
{
    HMODULE module = nullptr;
    EXPECT_EQ(loadSharedLibrary(nullptr, &module), kLibraryNullArgument);
    EXPECT_EQ(loadSharedLibrary(u"x", nullptr), kLibraryNullArgument);

    HMODULE untouched = reinterpret_cast<HMODULE>(0x1);
    EXPECT_EQ(loadSharedLibrary(u"/nonexistent/libnothing.so", &untouched), kLibrarySystemError);
    EXPECT_EQ(untouched, reinterpret_cast<HMODULE>(0x1));

    const std::u16string path = widen(LUMORA_TEST_LIBRARY);
    ASSERT_EQ(loadSharedLibrary(path.c_str(), &module), kLibraryOk);
    ScopedDLL owner(module);

    FARPROC function = nullptr;
    EXPECT_EQ(findLibrarySymbol(nullptr, u"lumoraTestAnswer", &function), kLibraryNullArgument);
    EXPECT_EQ(findLibrarySymbol(module, nullptr, &function), kLibraryNullArgument);
    EXPECT_EQ(findLibrarySymbol(module, u"missingSymbol", &function), kLibrarySystemError);
    EXPECT_EQ(function, nullptr);
    ASSERT_EQ(findLibrarySymbol(module, u"lumoraTestAnswer", &function), kLibraryOk);
    EXPECT_EQ(reinterpret_cast<int (*)()>(function)(), 42);
}

TEST(SharedLibrary, scopedDllFreesTheLibraryItHolds)
{
    {
        ScopedDLL library;
        ASSERT_EQ(loadSharedLibrary(widen(LUMORA_TEST_LIBRARY).c_str(), library.receive()), kLibraryOk);
        EXPECT_TRUE(stillLoaded(LUMORA_TEST_LIBRARY));
        ScopedDLL moved(std::move(library));
        EXPECT_FALSE(library);
        EXPECT_TRUE(moved);
    }
    EXPECT_FALSE(stillLoaded(LUMORA_TEST_LIBRARY));
}

TEST(SharedLibrary, narrowCopyKeepsTheLowByte)
{
    char *copy = narrowCopy(u"a\u00e9\u4e2d");
    ASSERT_TRUE(copy);
    EXPECT_STREQ(copy, "a\xE9\x2D");
    EXPECT_EQ(freeNarrowCopy(copy), 0);
    EXPECT_EQ(freeNarrowCopy(nullptr), -1);
    EXPECT_EQ(narrowCopy(nullptr), nullptr);

    // No terminator within the length cap: taken as empty, and nothing past the cap is read.
    std::u16string endless(kMaxCopyLength, u'x');
    copy = narrowCopy(endless.data()); // the string's own terminator lies just past the cap
    ASSERT_TRUE(copy);
    EXPECT_STREQ(copy, "");
    freeNarrowCopy(copy);
}

TEST(SharedLibrary, widenCopyDropsBytesAbove7Bits)
{
    char16_t out[8];
    EXPECT_EQ(widenCopy(out, "\x43\x3A\xC3\xA9\x2F\x78"), 0);
    EXPECT_EQ(std::u16string(out), u"\x43\x3A\x2F\x78");
    EXPECT_EQ(widenCopy(nullptr, "x"), kLibraryNullArgument);
    EXPECT_EQ(widenCopy(out, nullptr), kLibraryNullArgument);
}
