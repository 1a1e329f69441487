// The registry calls against Windows semantics: result codes, buffer rules, case handling, access
// rights, deleted keys. The same cases run against the system's registry in the windows build.

#include "RegistryTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using namespace RegistryTest;

TEST(Registry, valuesOfEveryTypeRoundTripWithWindowsBufferRules)
{
    ScratchRegistry scratch;
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Test", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);

    const uint64_t qword = 0x0102030405060708ULL;
    const BYTE blob[] = {0, 1, 2, 0xFF};
    ASSERT_EQ(setString(key, u"Text", u"h\u00e9llo"), ERROR_SUCCESS);
    ASSERT_EQ(setDword(key, u"Number", 7), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Big", 0, REG_QWORD, reinterpret_cast<const BYTE *>(&qword), 8), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(u"dflt"), 10), ERROR_SUCCESS);

    EXPECT_EQ(queryString(key, u"Text"), u"h\u00e9llo");
    EXPECT_EQ(queryString(key, u""), u"dflt"); // the unnamed default value
    DWORD type = 0;
    std::vector<BYTE> bytes;
    ASSERT_EQ(query(key, u"Big", type, bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_QWORD);
    EXPECT_EQ(bytes, std::vector<BYTE>({8, 7, 6, 5, 4, 3, 2, 1}));
    ASSERT_EQ(query(key, u"Blob", type, bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, std::vector<BYTE>(blob, blob + 4));

    // Too small a buffer: ERROR_MORE_DATA with the size needed. Null data: the size alone.
    BYTE small[2];
    DWORD size = sizeof small;
    EXPECT_EQ(RegQueryValueExW(key, u"Big", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Number", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(RegQueryValueExW(key, u"Number", nullptr, &type, small, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RegDeleteValueW(key, u"Number"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, u"Number"), ERROR_FILE_NOT_FOUND);

    HKEY again = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Test", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &again,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST(Registry, namesIgnoreCaseAndKeepTheirFirstSpelling)
{
    ScratchRegistry scratch;
    HKEY key = createKey(HKEY_CURRENT_USER, u"Software\\Vexo\\MixedCase");
    ASSERT_TRUE(key);
    ASSERT_EQ(setString(key, u"Value", u"one"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, u"VALUE", u"two"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, u"\u00c4rger", u"umlaut"), ERROR_SUCCESS);

    HKEY other = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\VEXO\\mixedcase", 0, KEY_READ, &other), ERROR_SUCCESS);
    EXPECT_EQ(queryString(other, u"value"), u"two");
    EXPECT_EQ(queryString(other, u"\u00e4RGER"), u"umlaut");

    char16_t name[32];
    DWORD length = 32;
    ASSERT_EQ(RegEnumValueW(other, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, length), u"Value");

    HKEY vexo = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"software\\vexo", 0, KEY_READ, &vexo), ERROR_SUCCESS);
    length = 32;
    ASSERT_EQ(RegEnumKeyExW(vexo, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, length), u"MixedCase");
    RegCloseKey(vexo);
    RegCloseKey(other);
    RegCloseKey(key);
}

TEST(Registry, handlesKeepTheAccessTheyWereOpenedWith)
{
    ScratchRegistry scratch;
    HKEY key = createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Rights");
    ASSERT_TRUE(key);
    ASSERT_EQ(setDword(key, u"Flag", 1), ERROR_SUCCESS);
    RegCloseKey(key);

    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Rights", 0, KEY_READ | KEY_WOW64_64KEY, &readOnly),
              ERROR_SUCCESS);
    EXPECT_EQ(setDword(readOnly, u"Flag", 2), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(readOnly, u"Flag"), ERROR_ACCESS_DENIED);
    DWORD value = 0, size = sizeof value;
    EXPECT_EQ(RegQueryValueExW(readOnly, u"Flag", nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);
    RegCloseKey(readOnly);

    HKEY writeOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Rights", 0, KEY_SET_VALUE, &writeOnly), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(writeOnly, u"Flag", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    char16_t name[8];
    DWORD length = 8;
    EXPECT_EQ(RegEnumKeyExW(writeOnly, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    RegCloseKey(writeOnly);
}

TEST(Registry, aHandleWithoutCreateAccessMakesNoSubKeys)
{
    if (underWine())
        GTEST_SKIP() << "Wine does not check the parent handle's access when it creates a sub-key";
    ScratchRegistry scratch;
    RegCloseKey(createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Rights"));
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Rights", 0, KEY_READ, &readOnly), ERROR_SUCCESS);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExW(readOnly, u"Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_ACCESS_DENIED);
    RegCloseKey(readOnly);
}

TEST(Registry, enumerationBuffersFollowWindowsRules)
{
    ScratchRegistry scratch;
    HKEY key = createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Enum");
    ASSERT_TRUE(key);
    for (const char16_t *sub : {u"b", u"A", u"c"})
        RegCloseKey(createKey(key, sub));
    ASSERT_EQ(setString(key, u"alpha", u"22"), ERROR_SUCCESS);

    // Sub-keys in name order.
    char16_t name[16];
    std::u16string keys;
    for (DWORD i = 0;; ++i) {
        DWORD length = 16;
        const LONG status = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(status, ERROR_SUCCESS);
        keys += std::u16string(name, length);
    }
    EXPECT_EQ(keys, u"Abc");

    // A name needs room for its terminator; when it does not fit, the call says ERROR_MORE_DATA
    // and leaves the length alone.
    DWORD length = 5;
    EXPECT_EQ(RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(length, 5u);
    length = 1;
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);

    // Data that does not fit: ERROR_MORE_DATA with the size needed, the name still stored.
    BYTE data[2];
    DWORD dataSize = sizeof data;
    DWORD type = 0;
    length = 16;
    EXPECT_EQ(RegEnumValueW(key, 0, name, &length, nullptr, &type, data, &dataSize), ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 6u);
    EXPECT_EQ(std::u16string(name, length), u"alpha");
    length = 16;
    EXPECT_EQ(RegEnumValueW(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

    ASSERT_EQ(setString(key, u"zeta", u"1"), ERROR_SUCCESS);
    DWORD subKeys = 0, longestSubKey = 0, values = 0, longestName = 0, longestData = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &longestSubKey, nullptr, &values, &longestName,
                               &longestData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 3u);
    EXPECT_EQ(longestSubKey, 1u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(longestName, 5u);
    EXPECT_EQ(longestData, 6u);
    RegCloseKey(key);
}

TEST(Registry, valuesEnumerateInCreationOrder)
{
    if (underWine())
        GTEST_SKIP() << "Wine enumerates values in name order";
    ScratchRegistry scratch;
    HKEY key = createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Order");
    ASSERT_TRUE(key);
    for (const char16_t *value : {u"zeta", u"alpha", u"Mid"})
        ASSERT_EQ(setDword(key, value, 1), ERROR_SUCCESS);
    std::u16string names;
    char16_t name[16];
    for (DWORD i = 0;; ++i) {
        DWORD length = 16;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names += std::u16string(name, length) + u" ";
    }
    EXPECT_EQ(names, u"zeta alpha Mid ");
    RegCloseKey(key);
}

TEST(Registry, deletingKeysAndHandlesToDeletedKeys)
{
    ScratchRegistry scratch;
    HKEY parent = createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Tree");
    HKEY leaf = createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Tree\\Mid\\Leaf");
    ASSERT_TRUE(parent && leaf);

    EXPECT_EQ(RegDeleteKeyExW(parent, u"Mid", KEY_WOW64_64KEY, 0), ERROR_ACCESS_DENIED); // has a sub-key
    EXPECT_EQ(RegDeleteKeyExW(parent, u"Mid\\Leaf", KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
    EXPECT_EQ(setDword(leaf, u"x", 1), ERROR_KEY_DELETED);
    RegCloseKey(createKey(parent, u"Mid\\Other\\Deep"));
    EXPECT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Tree\\Mid"), ERROR_SUCCESS);
    EXPECT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Tree\\Mid"), ERROR_FILE_NOT_FOUND);

    HKEY probe = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Tree\\Mid\\Other", 0, KEY_READ, &probe),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(leaf), ERROR_SUCCESS); // closing a handle of a deleted key is fine
    RegCloseKey(parent);
}

TEST(Registry, treeDeletionOfAnEmptyPathIsRefused)
{
    if (kSystemRegistry)
        GTEST_SKIP() << "Windows takes an empty path for the key itself and empties the whole root";
    ScratchRegistry scratch;
    RegCloseKey(createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Kept"));
    EXPECT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, u""), ERROR_INVALID_PARAMETER);
    HKEY probe = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Kept", 0, KEY_READ, &probe), ERROR_SUCCESS);
    RegCloseKey(probe);
}

TEST(Registry, pathsTakeBackslashesAsWindowsDoes)
{
    ScratchRegistry scratch;
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"\\SOFTWARE\\Vexo", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"\\SOFTWARE", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
    // Doubled and trailing backslashes separate nothing.
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\A\\\\B\\", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\A\\B", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\\\Vexo\\A\\", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(Registry, refusesBadHandlesNamesAndData)
{
    ScratchRegistry scratch;
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(reinterpret_cast<HKEY>(0x1234), u"x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, std::u16string(257, u'k').c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);

    key = createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Bad");
    ASSERT_TRUE(key);
    EXPECT_EQ(setDword(key, std::u16string(16384, u'v').c_str(), 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(setDword(key, std::u16string(16383, u'v').c_str(), 1), ERROR_SUCCESS);
    const char16_t loneSurrogate[] = {u'a', char16_t(0xD800), u'b', 0};
    ASSERT_EQ(setDword(key, loneSurrogate, 7), ERROR_SUCCESS);
    DWORD value = 0, size = sizeof value;
    EXPECT_EQ(RegQueryValueExW(key, loneSurrogate, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(RegSetValueExW(key, u"null", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
    EXPECT_EQ(RegSetValueExW(key, u"empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(Registry, refusesWhatTheHiveFilesCannotHold)
{
    if (kSystemRegistry)
        GTEST_SKIP() << "the stand-in's own limits: Windows takes these";
    ScratchRegistry scratch;
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_USERS, u"x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"A\nB", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, std::u16string(256, u'k').c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);

    key = createKey(HKEY_CURRENT_USER, u"SOFTWARE\\Vexo\\Bad");
    ASSERT_TRUE(key);
    EXPECT_EQ(setDword(key, u"line\nbreak", 1), ERROR_INVALID_PARAMETER);
    std::vector<BYTE> huge(1024 * 1024 + 1);
    EXPECT_EQ(RegSetValueExW(key, u"huge", 0, REG_BINARY, huge.data(), DWORD(huge.size())), ERROR_INVALID_PARAMETER);
    huge.pop_back();
    EXPECT_EQ(RegSetValueExW(key, u"big", 0, REG_BINARY, huge.data(), DWORD(huge.size())), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(Registry, oneViewServesBothWow64Flags)
{
    if (kSystemRegistry)
        GTEST_SKIP() << "Windows keeps a 32-bit view of HKLM\\SOFTWARE apart from the 64-bit one";
    ScratchRegistry scratch;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vexo\\View", 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(setDword(key, u"v", 64), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vexo\\View", 0, KEY_READ | KEY_WOW64_32KEY, &key), ERROR_SUCCESS);
    DWORD value = 0, size = sizeof value;
    EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 64u);
    RegCloseKey(key);
}

// Run under ThreadSanitizer: the registry is called from the scheduler thread and host threads.
TEST(Registry, threadsWritingAtOnceLoseNothing)
{
    ScratchRegistry scratch;
    constexpr int kThreads = 4;
    constexpr int kValues = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::u16string path = u"SOFTWARE\\Vexo\\Threads\\T" + std::u16string(1, char16_t(u'0' + t));
            HKEY key = createKey(HKEY_CURRENT_USER, path.c_str());
            for (int i = 0; i < kValues; ++i) {
                const std::string ascii = "v" + std::to_string(i);
                const std::u16string name(ascii.begin(), ascii.end());
                setDword(key, name.c_str(), DWORD(i));
                DWORD value = 0, size = sizeof value;
                RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size);
            }
            RegCloseKey(key);
        });
    }
    for (auto &thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t) {
        const std::u16string path = u"SOFTWARE\\Vexo\\Threads\\T" + std::u16string(1, char16_t(u'0' + t));
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
        DWORD values = 0;
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(values, DWORD(kValues));
        RegCloseKey(key);
    }
}
