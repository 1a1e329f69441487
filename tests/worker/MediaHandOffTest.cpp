// Placing the finished file and handing it to the media library.

#include "worker/FilePlacement.h"
#include "plugin/Topics.h"
#include "worker/MediaHandOff.h"

#include "plugin/InterfaceNames.h"
#include "tests/support/FakeMediaLibrary.h"
#include "tests/support/PubSubRecorder.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestHostContext.h"
#include "tests/worker/WorkerFakes.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace Lumora;
using namespace LumoraTest;

namespace {

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(FilePlacement, movesWithoutLeavingACopyBehind)
{
    TempHome home;
    for (auto method : {FilePlacement::Method::Automatic, FilePlacement::Method::CopyOnly}) {
        const QString source = home.path() + "/temp/clip.part";
        const QString target = home.path() + "/media/new/clip.vexo";
        QFile::remove(target);
        write(source, QByteArray(200000, 'x'));
        ASSERT_TRUE(FilePlacement::moveFile(source, target, method));
        EXPECT_FALSE(QFile::exists(source));
        EXPECT_EQ(read(target), QByteArray(200000, 'x'));
        EXPECT_TRUE(QDir(home.path() + "/media/new").entryList(QDir::Hidden | QDir::Files).size() == 1);
    }
}

TEST(FilePlacement, refusesWithoutTouchingAnything)
{
    TempHome home;
    const QString source = home.path() + "/clip.part";
    const QString target = home.path() + "/clip.vexo";
    write(source, "new");
    write(target, "old");
    for (auto method : {FilePlacement::Method::Automatic, FilePlacement::Method::CopyOnly}) {
        EXPECT_FALSE(FilePlacement::moveFile(source, target, method));
        EXPECT_EQ(read(source), "new");
        EXPECT_EQ(read(target), "old");
    }
    EXPECT_FALSE(FilePlacement::moveFile(QString(), home.path() + "/x.vexo"));
    EXPECT_FALSE(FilePlacement::moveFile(home.path() + "/missing", home.path() + "/x.vexo"));
    EXPECT_FALSE(QFile::exists(home.path() + "/x.vexo"));
}

namespace {

class HandOffFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = new FakeMediaLibrary(&context);
        context.addInstance(library, context.describe("library", {VSE::InterfaceNames::MediaManagerText,
                                                                  VSE::InterfaceNames::MediaManagerV2Text}));
        inspector = new FakeInspector(&context);
        context.addInstance(inspector, context.describe("inspector", {VSE::InterfaceNames::FileInspectorText}));
        item = library->addItem("http://example.com/clip.mp4", Completed);
        target = home.path() + "/Media/clip.vexo";
        item->setFileUrl(QUrl::fromLocalFile(target));
        output = home.path() + "/temp/clip.mp4";
        write(output, "movie");
    }

    MediaHandOff::Result handOff(bool withInspector = true)
    {
        MediaHandOff::Inputs in;
        in.item = item.get();
        in.outputPath = output;
        in.inspector = withInspector ? static_cast<VSE::FileInspectorInterface *>(inspector) : nullptr;
        in.manager = &manager;
        in.context = &context;
        return MediaHandOff::handOff(in);
    }

    std::vector<QString> topics() const { return recorder.topics(); }

    TempHome home;
    TestHostContext context;
    FakeMediaLibrary *library = nullptr;
    FakeInspector *inspector = nullptr;
    RecordingManager manager;
    PubSubRecorder recorder;
    lmtl::RefCountedPtr<FakeQueuedFile> item;
    QString target, output;
};

} // namespace

TEST_F(HandOffFixture, registersTheMeasuredFileAsANewVideo)
{
    EXPECT_EQ(handOff(), MediaHandOff::Result::Completed);
    EXPECT_EQ(read(target), "movie");
    EXPECT_FALSE(QFile::exists(output));
    ASSERT_EQ(library->videos().size(), 1u);
    const auto video = library->videos()[0];
    EXPECT_EQ(video->fileMeasure, 12345u);
    EXPECT_EQ(video->trackMeasure, (uint64_t(240) << 32) | 320);
    EXPECT_EQ(inspector->lastUrl(), QUrl::fromLocalFile(target).toString().toStdString());
    EXPECT_EQ(inspector->closes.load(), 1);
    ASSERT_EQ(recorder.messages().size(), 1u);
    EXPECT_EQ(recorder.messages()[0].topic, QLatin1String(Lumora::HubTopics::MediaItemAdded));
    EXPECT_EQ(recorder.messages()[0].payload, QVariant::fromValue<quint64>(video->id()));
    EXPECT_EQ(manager.values("flag"), std::vector<int64_t>{Lumora::PlayableFlag});
}

TEST_F(HandOffFixture, updatesAVideoTheLibraryAlreadyHas)
{
    lmtl::RefCountedPtr<VideoFileInterface> existing;
    ASSERT_TRUE(library->addVideoFile(item.get(), 1, 2, existing.receive()));
    EXPECT_EQ(handOff(), MediaHandOff::Result::Completed);
    const auto video = library->videos()[0];
    EXPECT_EQ(video->trackLow.load(), 320);
    EXPECT_EQ(video->trackHigh.load(), 240);
    ASSERT_EQ(recorder.messages().size(), 1u);
    EXPECT_EQ(recorder.messages()[0].topic, QLatin1String(Lumora::HubTopics::MediaItemChanged));
    EXPECT_EQ(recorder.messages()[0].payload, QVariant::fromValue<quint64>(existing->id()));
    EXPECT_NE(existing->id(), item->id());
}

TEST_F(HandOffFixture, aFileThatCannotBePlacedFailsAndStaysWhereItIs)
{
    write(target, "someone else's");
    EXPECT_EQ(handOff(), MediaHandOff::Result::Failed);
    EXPECT_EQ(read(output), "movie");
    EXPECT_EQ(read(target), "someone else's");
    output.clear();
    EXPECT_EQ(handOff(), MediaHandOff::Result::Failed);
    EXPECT_TRUE(topics().empty());
    EXPECT_TRUE(library->videos().empty());
}

TEST_F(HandOffFixture, aLibraryThatRefusesTheFileFailsTheRun)
{
    library->acceptFiles = false;
    EXPECT_EQ(handOff(), MediaHandOff::Result::Failed);
    EXPECT_TRUE(QFile::exists(target));  // placed before the library was asked
    library->acceptFiles = true;
    library->provideV2 = false;
    write(output, "movie");
    item->setFileUrl(QUrl::fromLocalFile(home.path() + "/Media/clip2.vexo"));
    EXPECT_EQ(handOff(), MediaHandOff::Result::Failed);
    EXPECT_TRUE(library->videos().empty());
}

TEST_F(HandOffFixture, anUnmeasuredFileStaysOutOfTheLibraryButCompletes)
{
    EXPECT_EQ(handOff(false), MediaHandOff::Result::Completed);
    EXPECT_TRUE(manager.calls().empty());

    write(output, "movie");
    item->setFileUrl(QUrl::fromLocalFile(home.path() + "/Media/b.vexo"));
    inspector->openResult = 1;
    EXPECT_EQ(handOff(), MediaHandOff::Result::Completed);
    EXPECT_EQ(inspector->closes.load(), 0);
    EXPECT_TRUE(manager.calls().empty());

    write(output, "movie");
    item->setFileUrl(QUrl::fromLocalFile(home.path() + "/Media/c.vexo"));
    inspector->openResult = 0;
    inspector->queryResult = 5;
    EXPECT_EQ(handOff(), MediaHandOff::Result::Completed);
    EXPECT_EQ(inspector->closes.load(), 1);
    EXPECT_EQ(manager.values("flag"), std::vector<int64_t>{Lumora::PlayableFlag});
    EXPECT_TRUE(library->videos().empty());
    EXPECT_TRUE(topics().empty());
}
