// Where the engine's settings come from: the user's key, else the machine's, else the defaults;
// numbers in any of the accepted forms, held to their bounds.

#include "tests/support/TempHome.h"
#include "vdm/EngineSettings.h"
#include "vdm/VexoDownloadManager.h"

#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <string>

using namespace LumoraTest;
using namespace std::chrono_literals;
using Vdm::EngineSettings;

namespace {

std::u16string wide(const char *ascii)
{
    return std::u16string(ascii, ascii + std::char_traits<char>::length(ascii));
}

void write(HKEY root, const char *name, DWORD type, const void *data, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, u"" VDM_SETTINGS_KEY, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, wide(name).c_str(), 0, type, static_cast<const BYTE *>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void writeDword(HKEY root, const char *name, uint32_t value)
{
    write(root, name, REG_DWORD, &value, sizeof value);
}

void writeQword(HKEY root, const char *name, uint64_t value)
{
    write(root, name, REG_QWORD, &value, sizeof value);
}

void writeText(HKEY root, const char *name, const std::u16string &text)
{
    write(root, name, REG_SZ, text.c_str(), DWORD((text.size() + 1) * sizeof(char16_t)));
}

} // namespace

TEST(EngineSettings, theUsersValueWinsAndTheMachinesFillsIn)
{
    TempHome home;
    writeDword(HKEY_LOCAL_MACHINE, VDM_SETTING_MAX_CONNECTIONS, 8);
    writeDword(HKEY_LOCAL_MACHINE, VDM_SETTING_RETRY_LIMIT, 3);
    writeDword(HKEY_CURRENT_USER, VDM_SETTING_MAX_CONNECTIONS, 2);
    const auto values = EngineSettings::read();
    EXPECT_EQ(values.maxConnections, 2u);
    EXPECT_EQ(values.retryLimit, 3u) << "per value, not per key";
}

TEST(EngineSettings, numbersAreTakenAsDwordQwordOrDecimalText)
{
    TempHome home;
    writeQword(HKEY_CURRENT_USER, VDM_SETTING_SEGMENT_MINIMUM_SIZE, 5ull << 30);
    writeText(HKEY_CURRENT_USER, VDM_SETTING_MAX_DOWNLOAD_RATE, u" 2097152 ");
    writeText(HKEY_CURRENT_USER, VDM_SETTING_RETRY_TIME_LIMIT, u"90");
    writeDword(HKEY_CURRENT_USER, VDM_SETTING_MAX_CONNECTIONS, 6);
    auto values = EngineSettings::read();
    EXPECT_EQ(values.segmentMinimumSize, 5ull << 30);
    EXPECT_EQ(values.maxDownloadRate, 2097152u);
    EXPECT_EQ(values.retryTimeLimit, 90s);
    EXPECT_EQ(values.maxConnections, 6u);

    // What is not a number of an accepted form counts as absent.
    writeText(HKEY_CURRENT_USER, VDM_SETTING_RETRY_TIME_LIMIT, u"ninety");
    writeText(HKEY_CURRENT_USER, VDM_SETTING_MAX_DOWNLOAD_RATE, u"-5");
    const uint8_t binary[] = {6, 0, 0, 0};
    write(HKEY_CURRENT_USER, VDM_SETTING_MAX_CONNECTIONS, REG_BINARY, binary, sizeof binary);
    values = EngineSettings::read();
    EXPECT_EQ(values.retryTimeLimit, std::chrono::seconds(VDM_RETRY_TIME_LIMIT_DEFAULT));
    EXPECT_EQ(values.maxDownloadRate, uint64_t(VDM_MAX_DOWNLOAD_RATE_DEFAULT));
    EXPECT_EQ(values.maxConnections, uint32_t(VDM_MAX_CONNECTIONS_DEFAULT));
}

TEST(EngineSettings, valuesAreHeldToTheirBounds)
{
    TempHome home;
    writeDword(HKEY_CURRENT_USER, VDM_SETTING_MAX_CONNECTIONS, 64);
    writeDword(HKEY_CURRENT_USER, VDM_SETTING_RETRY_LIMIT, 0);
    writeDword(HKEY_CURRENT_USER, VDM_SETTING_SEGMENT_MINIMUM_SIZE, 1000);
    writeDword(HKEY_CURRENT_USER, VDM_SETTING_MAX_DOWNLOAD_RATE, 10);
    auto values = EngineSettings::read();
    EXPECT_EQ(values.maxConnections, uint32_t(VDM_MAX_CONNECTIONS_MAX));
    EXPECT_EQ(values.retryLimit, uint32_t(VDM_RETRY_LIMIT_MIN));
    EXPECT_EQ(values.segmentMinimumSize, uint64_t(VDM_SEGMENT_MINIMUM_SIZE_MIN));
    EXPECT_EQ(values.maxDownloadRate, uint64_t(VDM_MAX_DOWNLOAD_RATE_MIN));
    writeDword(HKEY_CURRENT_USER, VDM_SETTING_MAX_DOWNLOAD_RATE, 0);
    EXPECT_EQ(EngineSettings::read().maxDownloadRate, 0u) << "0 is no limit, not too small a limit";
}

TEST(EngineSettings, theEnvironmentRateWinsOverTheRegistry)
{
    TempHome home;
    writeDword(HKEY_CURRENT_USER, VDM_SETTING_MAX_DOWNLOAD_RATE, 4096);
    ::setenv(VDM_ENV_MAX_DOWNLOAD_RATE, "65536", 1);
    EXPECT_EQ(EngineSettings::read().maxDownloadRate, 65536u);
    ::setenv(VDM_ENV_MAX_DOWNLOAD_RATE, "0", 1);
    EXPECT_EQ(EngineSettings::read().maxDownloadRate, 0u) << "the command line may lift the limit too";
    ::setenv(VDM_ENV_MAX_DOWNLOAD_RATE, "fast", 1);
    EXPECT_EQ(EngineSettings::read().maxDownloadRate, 4096u) << "not a number: the registry decides";
    ::unsetenv(VDM_ENV_MAX_DOWNLOAD_RATE);
}
