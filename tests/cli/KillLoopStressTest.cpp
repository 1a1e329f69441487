// lumora killed again and again while it downloads a queue, then run to the end: no download may be
// lost (missing, short, corrupt, twice in the media folder) or stranded (left unfinished, or its
// partial data left behind). Kills come at random moments, which land between downloads (probing
// the next one, finishing the last) or during a transfer, and at each finishing step through the
// fault points of a test build. Prints how many kills each phase took.

#include "tests/cli/LumoraProcess.h"
#include "tests/support/http/HttpTestServer.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>

using namespace LumoraTest;
using namespace LumoraTest::EndToEnd;
using Lumora::Completed;

namespace {

constexpr int kFiles = 8;
constexpr int kRandomKills = 48;
constexpr int kKillsPerFinishingStep = 4;
const char *const kFinishingSteps[] = {"finish.recorded", "finish.placed", "finish.accepted", "finish.entered"};

uint64_t sizeOf(int index)
{
    return (1ull << 20) + static_cast<uint64_t>(index) * 384 * 1024;  // 1 MiB to 3.6 MiB
}

// Where a run was when it was killed at a random moment, from its own account of its transitions.
QString phaseOf(const QString &output)
{
    static const QRegularExpression transition(QStringLiteral(R"(^\d+: (\w+) -> (\w+))"),
                                               QRegularExpression::MultilineOption);
    QString last;
    for (auto it = transition.globalMatch(output); it.hasNext();)
        last = it.next().captured(2);
    if (last.isEmpty())
        return QStringLiteral("starting");
    if (last == QLatin1String("Downloading"))
        return QStringLiteral("transfer");
    return QStringLiteral("between downloads");
}

// Partial data the engine keeps while a download is unfinished.
QStringList partialFiles(const QString &home)
{
    QStringList found;
    QDirIterator it(home, {QStringLiteral("*")}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.contains(QLatin1String("/.incomplete/")) || path.contains(QLatin1String("/cache/downloads/")))
            found << path;
    }
    return found;
}

// One generation of downloads: its own addresses, queued by every run until all have completed.
struct Generation {
    int number = 0;
    QStringList urls;
};

// A real clip followed by made-up bytes up to the size: media the library takes in, so that every
// finishing step is reached.
QByteArray contentOf(int index)
{
    static const QByteArray clip = fileBytes(clipPath(kClips[0]));
    return clip + QByteArray::fromStdString(HttpTestServer::generatedString(0, sizeOf(index) - clip.size()));
}

Generation serveGeneration(HttpTestServer &server, int number)
{
    HttpBehaviour paced;
    paced.bytesPerSecond = 4ull << 20;
    paced.stallBeforeHeaders = std::chrono::milliseconds(60);
    Generation generation{number, {}};
    for (int i = 0; i < kFiles; ++i) {
        const std::string path = "/g" + std::to_string(number) + "/video-" + std::to_string(i) + ".mp4";
        server.serveBytes(path, contentOf(i).toStdString(), paced);
        generation.urls << urlOf(server, QString::fromStdString(path));
    }
    return generation;
}

// Every download of the generation completed, whole and correct, in the media folder once.
void expectIntact(const LumoraHome &home, const Generation &generation)
{
    const QJsonArray list = home.list();
    for (int i = 0; i < kFiles; ++i) {
        const QJsonObject entry = entryFor(list, QStringLiteral("/g%1/video-%2.mp4").arg(generation.number).arg(i));
        ASSERT_EQ(entry.value("status").toString(), statusText(Completed)) << generation.number << '/' << i;
        const QByteArray bytes = fileBytes(entry.value("file").toString());
        ASSERT_EQ(static_cast<uint64_t>(bytes.size()), sizeOf(i)) << generation.number << '/' << i;
        EXPECT_TRUE(bytes == contentOf(i)) << generation.number << '/' << i;
    }
    EXPECT_EQ(QDir(home.mediaFolder()).entryList(QDir::Files).size(), kFiles * (generation.number + 1))
        << "a download placed twice, or one missing";
    EXPECT_TRUE(partialFiles(home.path()).isEmpty()) << partialFiles(home.path()).join('\n').toStdString();
}

} // namespace

TEST(KillLoop, noDownloadIsLostOrStrandedHoweverOftenThePlayerIsKilled)
{
#if !defined(LUMORA_FAULT_POINTS)
    GTEST_SKIP() << "this build has no fault points (configure with LUMORA_FAULT_POINTS=ON)";
#endif
    ASSERT_FALSE(fileBytes(clipPath(kClips[0])).isEmpty()) << "LUMORA_TEST_DATA names no folder with the clips";
    LumoraHome home;
    HttpTestServer server;
    Generation generation = serveGeneration(server, 0);

    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> delayMs(0, 1500);
    std::vector<QString> plan;
    for (int i = 0; i < kRandomKills; ++i)
        plan.emplace_back();
    for (const char *step : kFinishingSteps)
        for (int i = 0; i < kKillsPerFinishingStep; ++i)
            plan.emplace_back(QString::fromLatin1(step));
    std::shuffle(plan.begin(), plan.end(), random);

    std::map<QString, int> killsByPhase;
    for (const QString &faultPoint : plan) {
        home.setEnvironment(QStringLiteral("LUMORA_FAULT_POINT"), faultPoint);
        std::unique_ptr<QProcess> run = home.start(QStringList{"--verbose", "get"} + generation.urls);
        ASSERT_TRUE(run->state() == QProcess::Running);
        if (faultPoint.isEmpty() && !run->waitForFinished(delayMs(random)))
            run->kill();
        if (run->state() != QProcess::NotRunning) {
            ASSERT_TRUE(run->waitForFinished(60000)) << faultPoint.toStdString();
        }
        const QString output = QString::fromUtf8(run->readAllStandardOutput() + run->readAllStandardError());
        if (run->exitStatus() == QProcess::CrashExit) {
            ++killsByPhase[faultPoint.isEmpty() ? phaseOf(output) : faultPoint];
            continue;
        }
        // The run got to the end of its queue before its kill: check it, and queue a new generation.
        ASSERT_EQ(run->exitCode(), 0) << output.toStdString();
        expectIntact(home, generation);
        if (HasFailure())
            return;
        generation = serveGeneration(server, generation.number + 1);
    }

    home.setEnvironment(QStringLiteral("LUMORA_FAULT_POINT"), QString());
    const LumoraResult last = home.run(QStringList{"get"} + generation.urls, 120000);
    ASSERT_EQ(last.exitCode, 0) << describe(last);
    expectIntact(home, generation);

    int kills = 0;
    for (const auto &[phase, count] : killsByPhase) {
        std::printf("kills %-20s %d\n", qPrintable(phase), count);
        kills += count;
    }
    std::printf("kills in all %d; generations %d of %d downloads each; lost or stranded 0\n", kills,
                generation.number + 1, kFiles);
    EXPECT_GT(killsByPhase[QStringLiteral("transfer")], 0);
    for (const char *step : kFinishingSteps)
        EXPECT_GT(killsByPhase[QString::fromLatin1(step)], 0) << step;
}
