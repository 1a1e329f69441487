// Target names in the media folder, and the disk-space check before a fresh download.

#include "worker/DiskSpace.h"
#include "plugin/SettingKeys.h"
#include "worker/TargetNaming.h"

#include "host/lmrlibrary/OSUtilities.h"
#include "host/lmrlibrary/UIThread.h"
#include "plugin/InterfaceNames.h"
#include "settings/VexoSettings.h"
#include "tests/support/FakeMediaLibrary.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestHostContext.h"
#include "tests/worker/WorkerFakes.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace Lumora;
using namespace LumoraTest;

namespace {

void touch(const QString &path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

class NamingFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = new FakeMediaLibrary(&context);
        context.addInstance(library, context.describe("library", {VSE::InterfaceNames::MediaManagerText,
                                                                  VSE::InterfaceNames::MediaManagerV2Text}));
        media = home.path() + "/Media";
        ASSERT_TRUE(QDir().mkpath(media));
    }

    lmtl::RefCountedPtr<FakeQueuedFile> item(const QString &name)
    {
        auto queued = library->addItem("http://example.com/x.mp4", Queued);
        queued->setTitle(name);
        return queued;
    }

    TempHome home;
    TestHostContext context;
    FakeMediaLibrary *library = nullptr;
    QString media;
};

} // namespace

TEST(TargetNaming, namesAreMadeIntoOnePlainFileName)
{
    EXPECT_EQ(TargetNaming::safeFileStem("clip"), "clip");
    EXPECT_EQ(TargetNaming::safeFileStem("My Clip (2024) [HD]"), "My Clip (2024) [HD]");
    EXPECT_EQ(TargetNaming::safeFileStem("a.b"), "a.b");
    EXPECT_EQ(TargetNaming::safeFileStem(""), "Unknown");
    for (const QString &hostile : {QStringLiteral("../../etc/passwd"), QStringLiteral("..\\..\\boot.ini"),
                                   QStringLiteral(".."), QStringLiteral("."), QStringLiteral(".hidden"),
                                   QStringLiteral("/abs/path"), QStringLiteral("line\nbreak\x01"),
                                   QStringLiteral("a/../b"), QStringLiteral(" . .. ")}) {
        const QString stem = TargetNaming::safeFileStem(hostile);
        EXPECT_FALSE(stem.isEmpty()) << hostile.toStdString();
        EXPECT_FALSE(stem.contains('/') || stem.contains('\\')) << stem.toStdString();
        EXPECT_FALSE(stem.contains("..")) << stem.toStdString();
        EXPECT_FALSE(stem.startsWith('.')) << stem.toStdString();
        for (QChar c : stem)
            EXPECT_NE(c.category(), QChar::Other_Control) << stem.toStdString();
    }
    EXPECT_EQ(TargetNaming::safeFileStem("../../etc/passwd"), QStringLiteral("____etc_passwd"));
    // Long names leave room for a counter and the suffix within a file name's 255 bytes.
    const QString longName(400, QChar(0x00e9));
    EXPECT_LE(TargetNaming::safeFileStem(longName).toUtf8().size() + QByteArray("[99999].vexo").size(), 255);
}

TEST_F(NamingFixture, takesTheFirstNameNeitherOnDiskNorInTheLibrary)
{
    auto clip = item("clip");
    EXPECT_EQ(TargetNaming::nameTarget(clip.get(), media, &context), media + "/clip.vexo");

    touch(media + "/clip.vexo");
    touch(media + "/clip[1].vexo");
    EXPECT_EQ(TargetNaming::nameTarget(clip.get(), media, &context), media + "/clip[2].vexo");

    // Known to the library as a media file, or as an acquired file: taken as well.
    auto known = item("clip");
    known->setFileUrl(QUrl::fromLocalFile(media + "/clip[2].vexo"));
    lmtl::RefCountedPtr<VideoFileInterface> video;
    ASSERT_TRUE(library->addVideoFile(known.get(), 1, 2, video.receive()));
    library->addAcquiredFile(QUrl::fromLocalFile(media + "/clip[3].vexo"));
    EXPECT_EQ(TargetNaming::nameTarget(clip.get(), media, &context), media + "/clip[4].vexo");
}

TEST_F(NamingFixture, hostileNamesStayInTheMediaFolder)
{
    auto hostile = item("../../outside");
    const QString target = TargetNaming::nameTarget(hostile.get(), media, &context);
    EXPECT_TRUE(TargetNaming::liesDirectlyIn(target, media)) << target.toStdString();
    auto unnamed = item("");
    EXPECT_EQ(TargetNaming::nameTarget(unnamed.get(), media, &context), media + "/Unknown.vexo");
}

TEST_F(NamingFixture, anItemAlreadyInTheMediaFolderKeepsItsFreeName)
{
    auto clip = item("other");
    clip->setFileUrl(QUrl::fromLocalFile(media + "/clip[7].vexo"));
    EXPECT_EQ(TargetNaming::nameTarget(clip.get(), media + "/", &context), media + "/clip[7].vexo");
    // Taken by now: a fresh start does not write over it.
    touch(media + "/clip[7].vexo");
    EXPECT_EQ(TargetNaming::nameTarget(clip.get(), media, &context), media + "/other.vexo");
}

TEST_F(NamingFixture, aResumedDownloadKeepsItsTargetEvenWhereTheMediaFolderHasMoved)
{
    auto resumed = item("clip");
    resumed->setFileUrl(QUrl::fromLocalFile(media + "/clip.vexo"));
    touch(media + "/clip.vexo");
    EXPECT_EQ(TargetNaming::decideTarget(resumed.get(), media, false, &context), media + "/clip.vexo");
    // The same item started afresh gets a free name.
    EXPECT_EQ(TargetNaming::decideTarget(resumed.get(), media, true, &context), media + "/clip[1].vexo");

    // The user moved the media folder while the download was half done: it finishes where it began.
    auto elsewhere = item("clip");
    elsewhere->setFileUrl(QUrl::fromLocalFile(home.path() + "/elsewhere/clip.vexo"));
    EXPECT_EQ(TargetNaming::decideTarget(elsewhere.get(), media, false, &context), home.path() + "/elsewhere/clip.vexo");
    EXPECT_EQ(TargetNaming::decideTarget(elsewhere.get(), media, true, &context), media + "/clip[1].vexo");

    // What no earlier run of ours could have named gets a name in the media folder.
    auto unsafe = item("clip");
    unsafe->setFileUrl(QUrl::fromLocalFile(home.path() + "/elsewhere/.hidden"));
    EXPECT_TRUE(TargetNaming::liesDirectlyIn(TargetNaming::decideTarget(unsafe.get(), media, false, &context), media));
    auto remote = item("clip");
    remote->setFileUrl(QUrl("http://h/clip.vexo"));
    EXPECT_TRUE(TargetNaming::liesDirectlyIn(TargetNaming::decideTarget(remote.get(), media, false, &context), media));
}

namespace {

void storeMediaFolder(const std::string &value)
{
    lmtl::RefCountedPtr<lmds::IVexoSettings> group;
    ASSERT_TRUE(lmds::openSettings(Lumora::SettingKeys::groupPath(OSUtilities::getComponentIdUTF8(), Lumora::SettingKeys::GeneralGroup),
                                   lmds::kOpenCreateUser, group.receive()));
    ASSERT_TRUE(group->setValue(std::string(Lumora::SettingKeys::MediaFolder), value));
}

} // namespace

TEST_F(NamingFixture, theMediaFolderComesFromTheSettingAndAnEmptyOneMeansTheDefault)
{
    EXPECT_EQ(TargetNaming::mediaFolder("/default"), "/default");  // nothing stored
    storeMediaFolder((media + "/Stored").toStdString());
    EXPECT_EQ(TargetNaming::mediaFolder("/default"), media + "/Stored");
    storeMediaFolder("");
    EXPECT_EQ(TargetNaming::mediaFolder("/default"), "/default");
    // Every name is then made in the default folder, never at the root.
    auto clip = item("clip");
    EXPECT_EQ(TargetNaming::nameTarget(clip.get(), TargetNaming::mediaFolder(media), &context), media + "/clip.vexo");
}

TEST(DiskSpace, requirementIsComputedInSixtyFourBits)
{
    EXPECT_EQ(DiskSpace::requiredBytes(0), 0u);
    EXPECT_EQ(DiskSpace::requiredBytes(1000000), 2000139u);
    EXPECT_EQ(DiskSpace::requiredBytes(2147483648ull), 4295266889ull);
    EXPECT_EQ(DiskSpace::requiredBytes(5ull << 30), 10738167222ull);
    EXPECT_EQ(DiskSpace::requiredBytes(UINT64_MAX / 2), UINT64_MAX);
    EXPECT_EQ(DiskSpace::requiredBytes(UINT64_MAX), UINT64_MAX);
}

TEST(DiskSpace, driveTextIsThePartBeforeTheFirstColon)
{
    EXPECT_EQ(DiskSpace::driveText("c:/Movies/a.vexo"), "C:");
    EXPECT_EQ(DiskSpace::driveText("/home/ann/Videos"), "/HOME/ANN/VIDEOS:");
}

namespace {

struct SpaceCase {
    DiskSpace::Check check;
    RecordingListener listener;
    std::vector<QString> messages;
    UIThread::MessageSink previous;

    SpaceCase(uint64_t size, uint64_t targetFree, uint64_t tempFree, bool parentSet)
    {
        check.itemName = "clip";
        check.targetPath = "/media/clip.vexo";
        check.size = size;
        check.tempParentSet = parentSet;
        check.listener = &listener;
        check.freeSpace = [targetFree, tempFree](const QString &path, uint64_t *free) {
            *free = path == "/media" ? targetFree : tempFree;
            return true;
        };
        previous = UIThread::setMessageSink([this](int icon, const QString &text, const QString &detail) {
            EXPECT_EQ(icon, UIThread::Warning);
            messages.push_back(text + "|" + detail);
        });
    }
    ~SpaceCase() { UIThread::setMessageSink(previous); }
};

} // namespace

TEST(DiskSpace, aShortTargetDriveTellsTheListenerAndShowsNothing)
{
    TempHome home;
    SpaceCase c(5ull << 30, 10ull << 30, UINT64_MAX, true);
    EXPECT_FALSE(DiskSpace::enoughSpace(c.check));
    ASSERT_EQ(c.listener.shortages().size(), 1u);
    const auto s = c.listener.shortages()[0];
    EXPECT_EQ(s.name, "clip");
    EXPECT_EQ(s.drive, "/MEDIA/CLIP.VEXO:");
    EXPECT_EQ(s.target, "/media/clip.vexo");
    EXPECT_EQ(s.required, 10738167222ull);
    EXPECT_EQ(s.free, 10ull << 30);
    EXPECT_TRUE(c.messages.empty());
}

TEST(DiskSpace, exactlyTheRequirementIsEnough)
{
    TempHome home;
    SpaceCase c(1000000, 2000139, 0, true);
    EXPECT_TRUE(DiskSpace::enoughSpace(c.check));
    c.check.freeSpace = [](const QString &, uint64_t *) { return false; };  // unreadable counts as enough
    EXPECT_TRUE(DiskSpace::enoughSpace(c.check));
    EXPECT_TRUE(c.listener.shortages().empty());
}

TEST(DiskSpace, aShortTemporaryDriveWarnsTheUserWhenItIsNotInTheMediaFolder)
{
    TempHome home;
    SpaceCase enough(1000000, UINT64_MAX, UINT64_MAX, false);
    EXPECT_TRUE(DiskSpace::enoughSpace(enough.check));
    SpaceCase c(3ull << 20, UINT64_MAX, 1000, false);
    EXPECT_FALSE(DiskSpace::enoughSpace(c.check));
    EXPECT_TRUE(c.listener.shortages().empty());
    ASSERT_EQ(c.messages.size(), 1u);
    const QString drive = DiskSpace::driveText(Lumora::OSUtilities::getTempDownloadDirectoryPath());
    EXPECT_EQ(c.messages[0],
              QString("There is not enough space on your hard drive.|The Vexo Player uses your system's Temporary "
                      "directory to download videos.  There is not enough space on the drive that contains your "
                      "Temporary directory to allow you to download \"clip\".  Please make sure that your \"%1\" "
                      "drive has at least 6MP free disk space and retry the download.")
                  .arg(drive));
}

TEST(DiskSpace, aNameHoldingPlaceholdersIsShownAsItIs)
{
    EXPECT_TRUE(DiskSpace::warningText("50%2 off %1", "C:", 3ull << 20).contains("download \"50%2 off %1\""));
}
