#include "host/player/PlayerSettings.h"

#include "host/lmrlibrary/OSUtilities.h"
#include "tests/support/TempHome.h"

#include <QDir>

#include <gtest/gtest.h>

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
