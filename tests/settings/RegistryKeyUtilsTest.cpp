// The routines under VexoSettings that work on whole keys: listings over both keys and tree
// deletion with its guard.

#include "settings/RegistryKeyUtils.h"
#include "settings/VexoSettings.h"
#include "tests/platform/RegistryTestSupport.h"

#include <gtest/gtest.h>

using namespace RegistryTest;

namespace {

bool exists(HKEY root, const char16_t *path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A RegDeleteKeyExW that refuses one key, to see where a failed tree deletion stops.
LSTATUS refuseKeyNamedStuck(HKEY root, LPCWSTR path, REGSAM access, DWORD reserved)
{
    if (std::u16string_view(reinterpret_cast<const char16_t *>(path)).ends_with(u"\\Stuck"))
        return ERROR_ACCESS_DENIED;
    return RegDeleteKeyExW(root, path, access, reserved);
}

} // namespace

TEST(RegistryKeyUtils, treeDeletionNeedsTheSettingsPrefix)
{
    ScratchRegistry scratch;
    RegCloseKey(createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Other\\Keep"));
    EXPECT_FALSE(lmds::deleteKeyTree(u"SOFTWARE\\Other", HKEY_CURRENT_USER));
    EXPECT_TRUE(exists(HKEY_CURRENT_USER, u"SOFTWARE\\Other\\Keep"));
    EXPECT_FALSE(lmds::deleteKeyTree(u"SOFTWARE\\Vexo\\X", nullptr)); // no recorded root

    RegCloseKey(createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Settings\\T\\A\\B"));
    EXPECT_TRUE(lmds::deleteKeyTree(u"SOFTWARE\\Vexo\\Settings\\T", HKEY_CURRENT_USER));
    EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Settings\\T"));

    // Machine-wide: SHDeleteKeyW takes the tree where there is no "Advapi32.dll" (here), its
    // RegDeleteKeyExW key by key where there is (Windows).
    RegCloseKey(createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vexo\\Settings\\M\\A\\B"));
    EXPECT_TRUE(lmds::deleteKeyTree(u"SOFTWARE\\Vexo\\Settings\\M", HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vexo\\Settings\\M"));
}

TEST(RegistryKeyUtils, depthFirstDeletionStopsAtTheFirstKeyItCannotDelete)
{
    ScratchRegistry scratch;
    for (const char16_t *path : {u"SOFTWARE\\Vexo\\D\\a\\x", u"SOFTWARE\\Vexo\\D\\b", u"SOFTWARE\\Vexo\\D\\c\\y\\z"})
        RegCloseKey(createKey(HKEY_LOCAL_MACHINE, path));
    EXPECT_TRUE(lmds::deleteKeyTree64(u"SOFTWARE\\Vexo\\D", &RegDeleteKeyExW));
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vexo\\D"));
    EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vexo"));

    for (const char16_t *path : {u"SOFTWARE\\Vexo\\E\\a", u"SOFTWARE\\Vexo\\E\\Stuck\\deep", u"SOFTWARE\\Vexo\\E\\z"})
        RegCloseKey(createKey(HKEY_LOCAL_MACHINE, path));
    EXPECT_FALSE(lmds::deleteKeyTree64(u"SOFTWARE\\Vexo\\E", &refuseKeyNamedStuck));
    // Highest index first: z went, Stuck's child went, Stuck stopped it; a and E remain.
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vexo\\E\\z"));
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vexo\\E\\Stuck\\deep"));
    EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vexo\\E\\Stuck"));
    EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vexo\\E\\a"));
}

TEST(RegistryKeyUtils, listingsWithOnlyTheMachineKey)
{
    ScratchRegistry scratch;
    HKEY machine = createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vexo\\OnlyMachine");
    RegCloseKey(createKey(machine, u"Sub"));
    ASSERT_EQ(setDword(machine, u"v", 1), ERROR_SUCCESS);
    RegCloseKey(machine);

    // In mode 5 with no per-user key, the sub-key listing fails (it starts at the missing write
    // key) while the value listing goes on to the machine-wide values.
    lmds::VexoSettings settings(lmds::kOpenUserWithMachineReadOnly, u"OnlyMachine");
    settings.retain();
    std::set<std::u16string> names;
    EXPECT_FALSE(lmds::getSubKeyNames(settings, names));
    EXPECT_TRUE(lmds::getValueNames(settings, names));
    EXPECT_EQ(names, std::set<std::u16string>({u"v"}));
}

TEST(RegistryKeyUtils, valueListingStopsAtTheFirstNameOf1024UnitsAndSucceeds)
{
    if (underWine())
        GTEST_SKIP() << "Wine enumerates values in name order, so another name comes first";
    ScratchRegistry scratch;
    std::set<std::u16string> names;
    HKEY user = createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Long");
    ASSERT_EQ(setDword(user, u"first", 1), ERROR_SUCCESS);
    ASSERT_EQ(setDword(user, std::u16string(1024, u'n').c_str(), 2), ERROR_SUCCESS);
    ASSERT_EQ(setDword(user, u"after", 3), ERROR_SUCCESS);
    ASSERT_EQ(setDword(user, std::u16string(1023, u'm').c_str(), 4), ERROR_SUCCESS);
    RegCloseKey(user);
    lmds::VexoSettings longNames(lmds::kOpenUser, u"Long");
    longNames.retain();
    EXPECT_TRUE(lmds::getValueNames(longNames, names));
    EXPECT_EQ(names, std::set<std::u16string>({u"first"}));
}

TEST(RegistryKeyUtils, scopedKeyClosesItsHandle)
{
    ScratchRegistry scratch;
    HKEY raw = nullptr;
    {
        lmds::ScopedLMKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Scoped", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  key.receive(), nullptr),
                  ERROR_SUCCESS);
        raw = key.get();
    }
    EXPECT_EQ(RegCloseKey(raw), ERROR_INVALID_HANDLE);
}
