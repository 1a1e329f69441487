// A crash at any step of a download's finishing (status recorded, file placed, accepted by the
// library, entered into it) leaves nothing stranded: the next start finishes it exactly once, or
// downloads it again when nothing is left to finish with. The crash is a fault point that kills the
// player process at that step.

#include "tests/downloadmanager/PipelineFixture.h"

#include "host/lmrlibrary/OSUtilities.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>

using namespace LumoraTest;
using namespace Lumora;
using namespace std::chrono_literals;

namespace {

const auto *const qtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

struct FinishingRecovery : PipelineFixture, ::testing::WithParamInterface<const char *> {
    void SetUp() override
    {
#if !defined(LUMORA_FAULT_POINTS)
        GTEST_SKIP() << "this build has no fault points (configure with LUMORA_FAULT_POINTS=ON)";
#endif
        PipelineFixture::SetUp();
    }

    // Runs a player process on this home that dies at point; true when it died by the signal.
    bool crashAt(const char *point, const std::string &url)
    {
#if !defined(LUMORA_FAULT_POINTS)
        (void)point, (void)url;
        return false;
#endif
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LUMORA_FAULT_POINT"), QLatin1String(point));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QStringLiteral(LUMORA_PIPELINE_CHILD), {QString::fromStdString(url)});
        if (!child.waitForFinished(60000))
            return false;
        return child.exitStatus() == QProcess::CrashExit;
    }

    std::vector<QString> leftInTemporaryFolder() const
    {
        std::vector<QString> files;
        QDirIterator it(home.path(), {QStringLiteral("*")}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.contains(QLatin1String("/.incomplete/")) || path.contains(QLatin1String("/cache/downloads/")))
                files.push_back(path);
        }
        return files;
    }

    bool inLibrary(const QUrl &file) const
    {
        lmtl::RefCountedPtr<MediaManagerInterface::MediaFileInterface> media;
        return library()->findMediaFile(file, media.receive()) && media;
    }

    QByteArray clip() const
    {
        QFile f(QString::fromLocal8Bit(std::getenv("LUMORA_TEST_DATA")) + "/clip-160x120.mp4");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace

TEST_P(FinishingRecovery, aCrashAtThisStepIsFinishedExactlyOnceAtTheNextStart)
{
    server.serveBytes("/clip.mp4", clip().toStdString());
    ASSERT_TRUE(crashAt(GetParam(), server.url("/clip.mp4")));

    start();
    auto items = queue();
    ASSERT_EQ(items.size(), 1u);
    const auto &item = items[0];
    EXPECT_EQ(item->status(), Completed);
    EXPECT_TRUE(item->pendingFinish().isEmpty());
    EXPECT_EQ(item->progress(), 100);
    EXPECT_EQ(item->fileUrl().toLocalFile(), OSUtilities::getVexoMoviesPathDefault() + "/clip.vexo");
    EXPECT_EQ(contents(item->fileUrl()), clip());
    EXPECT_TRUE(inLibrary(item->fileUrl()));
    EXPECT_TRUE(leftInTemporaryFolder().empty());
    EXPECT_EQ(server.requests("/clip.mp4").size(), 2u) << "the probe and one transfer, nothing again";
}

INSTANTIATE_TEST_SUITE_P(EveryStep, FinishingRecovery,
                         ::testing::Values("finish.recorded", "finish.placed", "finish.accepted", "finish.entered"),
                         [](const ::testing::TestParamInfo<const char *> &info) {
                             return QString::fromLatin1(info.param).section('.', 1).toStdString();
                         });

TEST_F(FinishingRecovery, aDownloadWhoseFileIsGoneIsDownloadedAgain)
{
    server.serveBytes("/clip.mp4", clip().toStdString());
    const std::string url = server.url("/clip.mp4");
    ASSERT_TRUE(crashAt("finish.recorded", url));
    for (const QString &left : leftInTemporaryFolder())
        QFile::remove(left);

    start();
    ASSERT_TRUE(waitFor([&] {
        auto items = queue();
        return items.size() == 1 && items[0]->status() == Completed && items[0]->pendingFinish().isEmpty()
               && inLibrary(items[0]->fileUrl());
    }, 60s));
    EXPECT_EQ(contents(queue()[0]->fileUrl()), clip());
}
