#include "host/lmrlibrary/OSUtilities.h"
#include "vdm/VexoDownloadManager.h"
#include "plugin/SettingKeys.h"
#include "settings/VexoSettings.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

using Lumora::OSUtilities;

TEST(OSUtilities, lumoraHomeMovesEveryPathBelowIt)
{
    LumoraTest::TempHome home;
    EXPECT_EQ(OSUtilities::libraryDatabasePath(), home.path() + "/data/library.db");
    EXPECT_EQ(OSUtilities::getVexoMoviesPathDefault(), home.path() + "/Videos/Vexo Movies");
    EXPECT_TRUE(OSUtilities::cacheDirectory().startsWith(home.path()));
}

TEST(OSUtilities, temporaryDownloadDirectoryFollowsItsParent)
{
    LumoraTest::TempHome home;
    const QString media = home.path() + "/Videos/Vexo Movies";
    ASSERT_TRUE(OSUtilities::setTempDownloadDirectoryParent(media));
    const QString temp = OSUtilities::getTempDownloadDirectoryPath();
    EXPECT_TRUE(temp.startsWith(media + "/"));
    EXPECT_TRUE(QFileInfo(temp).isDir());

    // A parent that cannot hold a folder leaves the previous directory in place.
    QFile blocker(home.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(OSUtilities::setTempDownloadDirectoryParent(home.path() + "/file"));
    EXPECT_FALSE(OSUtilities::setTempDownloadDirectoryParent(QString()));
    EXPECT_EQ(OSUtilities::getTempDownloadDirectoryPath(), temp);
}

TEST(OSUtilities, freeSpaceOfAFolderNotCreatedYetIsItsFileSystems)
{
    LumoraTest::TempHome home;
    uint64_t freeBytes = 0, total = 0, freeMissing = 0;
    ASSERT_TRUE(OSUtilities::getFreeSpace(home.path(), &freeBytes, &total));
    EXPECT_GT(total, 0u);
    EXPECT_LE(freeBytes, total);
    ASSERT_TRUE(OSUtilities::getFreeSpace(home.path() + "/not/yet/there", &freeMissing, nullptr));
    EXPECT_GT(freeMissing, 0u);

    uint64_t untouched = 42;
    EXPECT_FALSE(OSUtilities::getFreeSpace(QString(), &untouched, nullptr));
    EXPECT_EQ(untouched, 42u);
    EXPECT_FALSE(OSUtilities::getFreeSpace(home.path(), nullptr, nullptr));
}

TEST(OSUtilities, componentIdentifierIsStableAndOverridable)
{
    EXPECT_EQ(OSUtilities::getComponentIdUTF8(), OSUtilities::getComponentIdUTF8());
    EXPECT_FALSE(OSUtilities::getComponentIdUTF8().empty());
    ::setenv("LUMORA_COMPONENT_ID", "Other", 1);
    EXPECT_EQ(OSUtilities::getComponentIdUTF8(), "Other");
    ::unsetenv("LUMORA_COMPONENT_ID");
}

TEST(OSUtilities, theTemporaryDirectoryIsPublishedForTheDownloadEngine)
{
    LumoraTest::TempHome home;
    const QString media = home.path() + "/Media";
    ASSERT_TRUE(OSUtilities::setTempDownloadDirectoryParent(media));
    lmtl::RefCountedPtr<lmds::IVexoSettings> desktop;
    ASSERT_TRUE(lmds::openSettings(Lumora::SettingKeys::componentPath(Lumora::SettingKeys::DesktopServiceComponent), lmds::kOpenUserWithMachineReadOnly, desktop.receive()));
    std::u16string value;
    ASSERT_TRUE(desktop->getValue(VDM_OUTPUT_DIRECTORY_VALUE, value));
    EXPECT_EQ(QString::fromStdU16String(value), OSUtilities::getTempDownloadDirectoryPath());
}
