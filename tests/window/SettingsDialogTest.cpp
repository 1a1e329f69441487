// The settings dialog shows what is stored and writes what the user changed: the media folder, resuming
// on start-up and the completion notice; a folder that cannot be made keeps the dialog open with why.

#include "host/window/SettingsDialog.h"

#include "host/player/PlayerSettings.h"
#include "host/window/WindowSettings.h"
#include "plugin/SettingKeys.h"
#include "vdm/VexoDownloadManager.h"
#include "tests/support/TempHome.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Lumora;
using namespace Lumora::Window;

TEST(SettingsDialog, writesTheChangedSettings)
{
    LumoraTest::TempHome home;
    SettingsDialog dialog;
    EXPECT_EQ(dialog.mediaFolderEdit()->text(), Host::PlayerSettings::mediaFolder());
    EXPECT_TRUE(dialog.resumeBox()->isChecked());
    EXPECT_TRUE(dialog.noticeBox()->isChecked());

    QSignalSpy folderChanged(&dialog, &SettingsDialog::mediaFolderChanged);
    const QString films = home.path() + "/films";
    dialog.mediaFolderEdit()->setText(films);
    dialog.resumeBox()->setChecked(false);
    dialog.noticeBox()->setChecked(false);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Host::PlayerSettings::mediaFolder(), films);
    EXPECT_TRUE(QDir(films).exists());
    EXPECT_FALSE(Host::PlayerSettings::resumeDownloadsOnStartup());
    EXPECT_FALSE(WindowSettings::completionNotice());
    EXPECT_EQ(folderChanged.size(), 1);

    // Shown again, the dialog reads what was stored; unchanged, the folder is not announced again.
    SettingsDialog again;
    EXPECT_EQ(again.mediaFolderEdit()->text(), films);
    EXPECT_FALSE(again.resumeBox()->isChecked());
    EXPECT_FALSE(again.noticeBox()->isChecked());
    QSignalSpy unchanged(&again, &SettingsDialog::mediaFolderChanged);
    EXPECT_TRUE(again.apply());
    EXPECT_EQ(unchanged.size(), 0);

    // Emptied, the folder goes back to the default.
    again.mediaFolderEdit()->clear();
    EXPECT_TRUE(again.apply());
    Host::PlayerSettings::Value folder;
    ASSERT_TRUE(Host::PlayerSettings::get(SettingKeys::MediaFolder, &folder, nullptr));
    EXPECT_TRUE(folder.isDefault);
}

TEST(SettingsDialog, aFolderThatCannotBeMadeKeepsTheDialogOpenWithTheReason)
{
    LumoraTest::TempHome home;
    QFile blocker(home.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SettingsDialog dialog;
    dialog.show();
    dialog.mediaFolderEdit()->setText(home.path() + "/file/films");
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.errorText().startsWith("The media folder was not changed: cannot create the folder"))
        << dialog.errorText().toStdString();
    EXPECT_NE(Host::PlayerSettings::mediaFolder(), home.path() + "/file/films");
}

TEST(SettingsDialog, theSpeedLimitAndConnectionsAreTheEnginesSettings)
{
    LumoraTest::TempHome home;
    SettingsDialog dialog;
    EXPECT_EQ(dialog.rateLimitEdit()->text(), "0");
    EXPECT_EQ(dialog.connectionsBox()->value(), VDM_MAX_CONNECTIONS_DEFAULT);

    dialog.rateLimitEdit()->setText("2M");
    dialog.connectionsBox()->setValue(8);
    ASSERT_TRUE(dialog.apply()) << dialog.errorText().toStdString();
    Host::PlayerSettings::Value rate;
    ASSERT_TRUE(Host::PlayerSettings::get(VDM_SETTING_MAX_DOWNLOAD_RATE, &rate, nullptr));
    EXPECT_EQ(rate.text, "2M");
    Host::PlayerSettings::Value connections;
    ASSERT_TRUE(Host::PlayerSettings::get(VDM_SETTING_MAX_CONNECTIONS, &connections, nullptr));
    EXPECT_EQ(connections.text, "8");

    dialog.rateLimitEdit()->setText("fast");
    EXPECT_FALSE(dialog.apply());
    EXPECT_TRUE(dialog.errorText().contains("speed limit")) << dialog.errorText().toStdString();
}
