#include "host/app/AppSettings.h"

#include "host/lmrlibrary/OSUtilities.h"
#include "tests/support/TempHome.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace Lumora::App;

TEST(AppSettings, mediaFolderIsResolvedCreatedAndResetToTheDefault)
{
    LumoraTest::TempHome home;
    AppSettings::Value value;
    ASSERT_TRUE(AppSettings::get(Lumora::SettingKeys::MediaFolder, &value, nullptr));
    EXPECT_TRUE(value.isDefault);
    EXPECT_EQ(value.text, Lumora::OSUtilities::getVexoMoviesPathDefault());

    QString error;
    bool usage = true;
    ASSERT_TRUE(AppSettings::set(Lumora::SettingKeys::MediaFolder, "films/new", home.path(), &error, &usage))
        << error.toStdString();
    EXPECT_FALSE(usage);
    const QString expected = home.path() + "/films/new";
    EXPECT_TRUE(QDir(expected).exists());
    EXPECT_EQ(AppSettings::mediaFolder(), expected);
    ASSERT_TRUE(AppSettings::get(Lumora::SettingKeys::MediaFolder, &value, nullptr));
    EXPECT_FALSE(value.isDefault);

    ASSERT_TRUE(AppSettings::set(Lumora::SettingKeys::MediaFolder, "", home.path(), &error, &usage));
    EXPECT_EQ(AppSettings::mediaFolder(), Lumora::OSUtilities::getVexoMoviesPathDefault());
}

TEST(AppSettings, resumeTakesTheUsualSpellingsOfAFlag)
{
    LumoraTest::TempHome home;
    EXPECT_TRUE(AppSettings::resumeDownloadsOnStartup());  // the default
    QString error;
    bool usage = false;
    for (const char *no : {"false", "No", "OFF", "0"}) {
        ASSERT_TRUE(AppSettings::set(Lumora::SettingKeys::ResumeDownloadsOnStartup, no, QString(), &error, &usage)) << no;
        EXPECT_FALSE(AppSettings::resumeDownloadsOnStartup()) << no;
        ASSERT_TRUE(AppSettings::set(Lumora::SettingKeys::ResumeDownloadsOnStartup, "yes", QString(), &error, &usage));
        EXPECT_TRUE(AppSettings::resumeDownloadsOnStartup());
    }
    EXPECT_FALSE(AppSettings::set(Lumora::SettingKeys::ResumeDownloadsOnStartup, "perhaps", QString(), &error, &usage));
    EXPECT_TRUE(usage);
    EXPECT_TRUE(error.contains("perhaps"));
    EXPECT_TRUE(AppSettings::resumeDownloadsOnStartup());  // a refused value changes nothing
}
