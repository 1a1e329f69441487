#include "host/player/PlayerSettings.h"

#include "host/lmrlibrary/OSUtilities.h"
#include "lmtl/RefCountedPtr.h"
#include "settings/VexoSettings.h"
#include "tests/support/TempHome.h"
#include "vdm/VexoDownloadManager.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <vector>

using namespace Lumora::Host;

TEST(PlayerSettings, mediaFolderIsResolvedCreatedAndResetToTheDefault)
{
    LumoraTest::TempHome home;
    PlayerSettings::Value value;
    ASSERT_TRUE(PlayerSettings::get(Lumora::SettingKeys::MediaFolder, &value, nullptr));
    EXPECT_TRUE(value.isDefault);
    EXPECT_EQ(value.text, Lumora::OSUtilities::getVexoMoviesPathDefault());

    QString error;
    bool usage = true;
    ASSERT_TRUE(PlayerSettings::set(Lumora::SettingKeys::MediaFolder, "films/new", home.path(), &error, &usage))
        << error.toStdString();
    EXPECT_FALSE(usage);
    const QString expected = home.path() + "/films/new";
    EXPECT_TRUE(QDir(expected).exists());
    EXPECT_EQ(PlayerSettings::mediaFolder(), expected);
    ASSERT_TRUE(PlayerSettings::get(Lumora::SettingKeys::MediaFolder, &value, nullptr));
    EXPECT_FALSE(value.isDefault);

    ASSERT_TRUE(PlayerSettings::set(Lumora::SettingKeys::MediaFolder, "", home.path(), &error, &usage));
    EXPECT_EQ(PlayerSettings::mediaFolder(), Lumora::OSUtilities::getVexoMoviesPathDefault());
}

TEST(PlayerSettings, resumeTakesTheUsualSpellingsOfAFlag)
{
    LumoraTest::TempHome home;
    EXPECT_TRUE(PlayerSettings::resumeDownloadsOnStartup());  // the default
    QString error;
    bool usage = false;
    for (const char *no : {"false", "No", "OFF", "0"}) {
        ASSERT_TRUE(PlayerSettings::set(Lumora::SettingKeys::ResumeDownloadsOnStartup, no, QString(), &error, &usage)) << no;
        EXPECT_FALSE(PlayerSettings::resumeDownloadsOnStartup()) << no;
        ASSERT_TRUE(PlayerSettings::set(Lumora::SettingKeys::ResumeDownloadsOnStartup, "yes", QString(), &error, &usage));
        EXPECT_TRUE(PlayerSettings::resumeDownloadsOnStartup());
    }
    EXPECT_FALSE(PlayerSettings::set(Lumora::SettingKeys::ResumeDownloadsOnStartup, "perhaps", QString(), &error, &usage));
    EXPECT_TRUE(usage);
    EXPECT_TRUE(error.contains("perhaps"));
    EXPECT_TRUE(PlayerSettings::resumeDownloadsOnStartup());  // a refused value changes nothing
}

TEST(PlayerSettings, everySettingOfTheTableIsReadAndChangedByItsType)
{
    LumoraTest::TempHome home;
    QString error;
    bool usage = false;
    for (const PlayerSettings::Setting &setting : PlayerSettings::table()) {
        PlayerSettings::Value value;
        ASSERT_TRUE(PlayerSettings::get(setting.name, &value, &error)) << setting.name;
        EXPECT_TRUE(value.isDefault) << setting.name;
        EXPECT_FALSE(setting.help.isEmpty()) << setting.name;
        EXPECT_EQ(PlayerSettings::canonicalName(QString(setting.name).toUpper()), setting.name);
    }
    // A command is kept as given, and run later without a shell; an empty one is none.
    ASSERT_TRUE(PlayerSettings::set(PlayerSettings::OnDownloadComplete, "/bin/notify-me --loud", QString(), &error, &usage));
    EXPECT_EQ(PlayerSettings::onDownloadComplete(), "/bin/notify-me --loud");
    ASSERT_TRUE(PlayerSettings::set(PlayerSettings::OnDownloadComplete, "", QString(), &error, &usage));
    EXPECT_TRUE(PlayerSettings::onDownloadComplete().isEmpty());
    EXPECT_TRUE(PlayerSettings::desktopNotifications());
    ASSERT_TRUE(PlayerSettings::set(PlayerSettings::DesktopNotifications, "off", QString(), &error, &usage));
    EXPECT_FALSE(PlayerSettings::desktopNotifications());
    EXPECT_FALSE(PlayerSettings::set(PlayerSettings::DesktopNotifications, "sometimes", QString(), &error, &usage));
    EXPECT_TRUE(usage);
    EXPECT_TRUE(PlayerSettings::takeReadWarning().isEmpty());  // every read succeeded
}

TEST(PlayerSettings, ratesReadBinaryMultiplesAndWriteThemBack)
{
    uint64_t rate = 0;
    for (const auto &[text, bytes] : std::vector<std::pair<QString, uint64_t>>{
             {"0", 0}, {"512", 512}, {"64K", 65536}, {"64k", 65536}, {"1.5M", 1572864}, {"2G", 2147483648ull}}) {
        ASSERT_TRUE(PlayerSettings::parseRate(text, &rate)) << text.toStdString();
        EXPECT_EQ(rate, bytes) << text.toStdString();
    }
    for (const char *wrong : {"", "fast", "-1K", "1e6", "2T", "+5"})
        EXPECT_FALSE(PlayerSettings::parseRate(wrong, &rate)) << wrong;
    EXPECT_EQ(PlayerSettings::formatRate(65536), "64K");
    EXPECT_EQ(PlayerSettings::formatRate(2147483648ull), "2G");
    EXPECT_EQ(PlayerSettings::formatRate(1000), "1000");
}

TEST(PlayerSettings, anUnreadableStoreFallsBackToTheDefaultAndIsWarnedAboutOnce)
{
    LumoraTest::TempHome home;
    ASSERT_TRUE(QDir().mkpath(home.path() + "/registry"));
    QFile hive(home.path() + "/registry/user.reg");
    ASSERT_TRUE(hive.open(QIODevice::WriteOnly));
    hive.write("this is not a registry file\n");
    hive.close();

    EXPECT_EQ(PlayerSettings::mediaFolder(), Lumora::OSUtilities::getVexoMoviesPathDefault());
    const QString warning = PlayerSettings::takeReadWarning();
    EXPECT_TRUE(warning.contains(Lumora::SettingKeys::MediaFolder)) << warning.toStdString();
    EXPECT_TRUE(warning.contains(Lumora::OSUtilities::getVexoMoviesPathDefault())) << warning.toStdString();
    PlayerSettings::mediaFolder();
    EXPECT_TRUE(PlayerSettings::takeReadWarning().isEmpty()) << "warned twice";

    PlayerSettings::Value value;
    QString error;
    EXPECT_FALSE(PlayerSettings::get(Lumora::SettingKeys::MediaFolder, &value, &error));
    EXPECT_TRUE(error.contains("could not be read")) << error.toStdString();
}

// The engine's settings are set where the engine reads them, within its bounds.
TEST(PlayerSettings, theEnginesSettingsAreStoredWhereTheEngineReadsThemWithinItsBounds)
{
    LumoraTest::TempHome home;
    QString error;
    bool usage = false;
    EXPECT_FALSE(Lumora::Host::PlayerSettings::set(VDM_SETTING_MAX_CONNECTIONS, "99", QString(), &error, &usage));
    EXPECT_TRUE(usage);
    EXPECT_TRUE(error.contains("from 1 to 16")) << error.toStdString();
    EXPECT_FALSE(Lumora::Host::PlayerSettings::set(VDM_SETTING_MAX_DOWNLOAD_RATE, "100", QString(), &error, &usage));
    EXPECT_TRUE(usage);

    ASSERT_TRUE(Lumora::Host::PlayerSettings::set(VDM_SETTING_MAX_CONNECTIONS, "8", QString(), &error, &usage));
    ASSERT_TRUE(Lumora::Host::PlayerSettings::set(VDM_SETTING_MAX_DOWNLOAD_RATE, "2M", QString(), &error, &usage));
    ASSERT_TRUE(Lumora::Host::PlayerSettings::set(VDM_SETTING_SEGMENT_MINIMUM_SIZE, "32M", QString(), &error, &usage));
    lmtl::RefCountedPtr<lmds::IVexoSettings> engine;
    ASSERT_TRUE(lmds::openSettings(Lumora::SettingKeys::componentPath(VDM_SETTINGS_COMPONENT), lmds::kOpenUserWithMachineReadOnly,
                                   engine.receive()));
    uint64_t value = 0;
    ASSERT_TRUE(engine->getValue(std::string(VDM_SETTING_MAX_CONNECTIONS), value));
    EXPECT_EQ(value, 8u);
    ASSERT_TRUE(engine->getValue(std::string(VDM_SETTING_MAX_DOWNLOAD_RATE), value));
    EXPECT_EQ(value, 2u * 1024 * 1024);
    Lumora::Host::PlayerSettings::Value shown;
    ASSERT_TRUE(Lumora::Host::PlayerSettings::get(VDM_SETTING_SEGMENT_MINIMUM_SIZE, &shown, nullptr));
    EXPECT_EQ(shown.text, "32M");
    // 0 means no limit, below the smallest limit as it is.
    EXPECT_TRUE(Lumora::Host::PlayerSettings::set(VDM_SETTING_MAX_DOWNLOAD_RATE, "0", QString(), &error, &usage));
}
