// LoadLibrary/GetProcAddress/FreeLibrary with Windows' failure reporting: on the loader here, and
// the same cases against the system's loader in the windows build.

#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>

TEST(DynamicLibrary, loadsFindsAndFreesALibrary)
{
    HMODULE module = LoadLibraryA(LUMORA_TEST_LIBRARY);
    ASSERT_TRUE(module) << VexoOS::Platform::dynamicLibraryError();
    FARPROC symbol = GetProcAddress(module, "lumoraTestAnswer");
    ASSERT_TRUE(symbol);
    EXPECT_EQ(reinterpret_cast<int (*)()>(symbol)(), 42);

    EXPECT_FALSE(GetProcAddress(module, "noSuchSymbol"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(FreeLibrary(module), TRUE);

    const std::string path = LUMORA_TEST_LIBRARY;
    const std::u16string wide(path.begin(), path.end());
    HMODULE again = LoadLibraryW(wide.c_str());
    ASSERT_TRUE(again);
    EXPECT_EQ(FreeLibrary(again), TRUE);
}

TEST(DynamicLibrary, failuresAreReportedNotRaised)
{
    EXPECT_FALSE(LoadLibraryA("NoSuchLumoraLibrary.dll"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(VexoOS::Platform::dynamicLibraryError().empty());
#ifndef _WIN32
    // The settings store's machine-wide deletion looks for it; only Windows has it.
    EXPECT_FALSE(LoadLibraryA("Advapi32.dll"));
    EXPECT_FALSE(LoadLibraryA(nullptr));
    EXPECT_FALSE(LoadLibraryW(nullptr));
    EXPECT_EQ(FreeLibrary(nullptr), FALSE);
#endif
    EXPECT_FALSE(GetProcAddress(nullptr, "noSuchSymbol"));
}
