// LoadLibrary/GetProcAddress/FreeLibrary on the loader, with Windows' failure reporting.

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
    EXPECT_FALSE(LoadLibraryA("Advapi32.dll"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(VexoOS::Platform::dynamicLibraryError().empty());
    EXPECT_FALSE(LoadLibraryA(nullptr));
    EXPECT_FALSE(LoadLibraryW(nullptr));
    EXPECT_FALSE(GetProcAddress(nullptr, "x"));
    EXPECT_EQ(FreeLibrary(nullptr), FALSE);
}
