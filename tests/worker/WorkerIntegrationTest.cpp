// Whole downloads: the real engine (loaded through the binding) fetching from the in-process server
// on the loopback interface, into the media folder of a temporary home.

#include "worker/HttpDownloadThread.h"
#include "plugin/SettingKeys.h"

#include "host/lmrlibrary/OSUtilities.h"
#include "plugin/InterfaceNames.h"
#include "settings/VexoSettings.h"
#include "vdm/VexoDownloadManager.h"
#include "tests/support/FakeMediaLibrary.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestHostContext.h"
#include "tests/support/http/HttpTestServer.h"
#include "tests/worker/WorkerFakes.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

using namespace Lumora;
using namespace LumoraTest;

namespace {

std::string clipBytes()
{
    const char *data = std::getenv("LUMORA_TEST_DATA");
    QFile file(QString::fromLocal8Bit(data ? data : "tests/data") + "/clip-160x120.mp4");
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll().toStdString();
}

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = new FakeMediaLibrary(&context);
        context.addInstance(library, context.describe("library", {VSE::InterfaceNames::MediaManagerText,
                                                                  VSE::InterfaceNames::MediaManagerV2Text}));
        inspector = new FakeInspector(&context);
        context.addInstance(inspector, context.describe("inspector", {VSE::InterfaceNames::FileInspectorText}));
        mediaFolder = OSUtilities::getVexoMoviesPathDefault();
        // Where the binding finds the engine when the library search does not (a sanitizer's
        // dlopen does not see this program's runpath).
        lmtl::RefCountedPtr<lmds::IVexoSettings> desktop;
        ASSERT_TRUE(lmds::openSettings(Lumora::SettingKeys::componentPath(Lumora::SettingKeys::DesktopServiceComponent), lmds::kOpenCreateUser, desktop.receive()));
        ASSERT_TRUE(desktop->setValue(std::string(Lumora::SettingKeys::InstallDir), std::string(LUMORA_ENGINE_DIR)));
    }

    HttpDownloadThread &worker()
    {
        if (!m_worker) {
            HttpDownloadThread::Options options;  // the engine binding
            options.timing.transferPoll = std::chrono::milliseconds(20);
            options.freeSpace = freeSpace;
            m_worker = std::make_unique<HttpDownloadThread>(&context, options);
            m_worker->setManager(&manager, &listener);
        }
        return *m_worker;
    }

    lmtl::RefCountedPtr<FakeQueuedFile> addItem(const std::string &url)
    {
        return library->addItem(QString::fromStdString(url), Queued);
    }

    TempHome home;
    TestHostContext context;
    FakeMediaLibrary *library = nullptr;
    FakeInspector *inspector = nullptr;
    HttpTestServer server;
    RecordingManager manager;
    RecordingListener listener;
    DiskSpace::FreeSpaceReader freeSpace;
    QString mediaFolder;

private:
    std::unique_ptr<HttpDownloadThread> m_worker;
};

} // namespace

TEST_F(EndToEnd, downloadsIntoTheMediaFolderUnderFreeNames)
{
    const std::string bytes = clipBytes();
    server.serveBytes("/clip.mp4", bytes);
    const QStringList names = {"clip.vexo", "clip[1].vexo", "clip[2].vexo"};
    for (const QString &name : names) {
        auto item = addItem(server.url("/clip.mp4"));
        ASSERT_EQ(worker().download(item.get()), Completed) << name.toStdString();
        EXPECT_EQ(item->fileUrl(), QUrl::fromLocalFile(mediaFolder + '/' + name));
        EXPECT_EQ(read(mediaFolder + '/' + name), QByteArray::fromStdString(bytes)) << name.toStdString();
        // Moved, not copied: the engine's output is gone.
        EXPECT_FALSE(worker().outputPath().isEmpty());
        EXPECT_FALSE(QFile::exists(worker().outputPath()));
    }
    EXPECT_EQ(library->videos().size(), 3u);
    EXPECT_EQ(manager.values("size"), (std::vector<int64_t>(3, static_cast<int64_t>(bytes.size()))));
    // The engine wrote below the media folder, so each move was a rename.
    EXPECT_EQ(OSUtilities::getTempDownloadDirectoryParent(), QDir::cleanPath(mediaFolder));
}

TEST_F(EndToEnd, credentialsReachTheServerThroughTheEngine)
{
    HttpBehaviour locked;
    locked.username = "ann";
    locked.password = "p@ss:word";
    server.serveBytes("/private.mp4", "private bytes", locked);
    auto item = addItem(server.urlWithCredentials("/private.mp4", "ann", "p@ss:word"));
    ASSERT_EQ(worker().download(item.get()), Completed);
    EXPECT_EQ(read(mediaFolder + "/private.vexo"), "private bytes");
    // The probe sends them with its HEAD; the engine with its GET (perhaps after a challenge).
    bool headAuthorised = false, getAuthorised = false;
    for (const auto &request : server.requests("/private.mp4")) {
        const bool authorised = !request.header("Authorization").empty();
        headAuthorised |= request.method == "HEAD" && authorised;
        getAuthorised |= request.method == "GET" && authorised;
    }
    EXPECT_TRUE(headAuthorised);
    EXPECT_TRUE(getAuthorised);
}

// 5 GiB served by range from nothing: measured whole, checked against the disk in 64 bits, and
// started; the run is stopped once the transfer is under way.
TEST_F(EndToEnd, aFiveGigabyteFileIsMeasuredCheckedAndStarted)
{
    constexpr uint64_t fiveGiB = 5ull << 30;
    HttpBehaviour throttled;
    throttled.bytesPerSecond = 4 << 20;
    server.serveGenerated("/big.mp4", fiveGiB, throttled);
    uint64_t checkedFree = 0;
    freeSpace = [&checkedFree](const QString &, uint64_t *free) {
        *free = 11ull << 30;
        checkedFree = *free;
        return true;
    };
    manager.onCall = [this](const std::string &name) {
        if (name == "progress")
            worker().requestStop(nullptr);
    };
    auto item = addItem(server.url("/big.mp4"));
    EXPECT_EQ(worker().download(item.get()), Queued);
    EXPECT_EQ(manager.values("size"), std::vector<int64_t>{static_cast<int64_t>(fiveGiB)});
    EXPECT_EQ(checkedFree, 11ull << 30);
    EXPECT_TRUE(listener.shortages().empty());
    EXPECT_EQ(manager.values("status"), (std::vector<int64_t>{Downloading, Queued}));
    EXPECT_FALSE(QFile::exists(mediaFolder + "/big.vexo"));
    bool ranged = false;
    for (const auto &request : server.requests("/big.mp4"))
        ranged |= request.method == "GET";
    EXPECT_TRUE(ranged);
}

TEST_F(EndToEnd, aFiveGigabyteFileDoesNotFitInTenGigabytes)
{
    server.serveGenerated("/big.mp4", 5ull << 30);
    freeSpace = [](const QString &, uint64_t *free) {
        *free = 10ull << 30;
        return true;
    };
    auto item = addItem(server.url("/big.mp4"));
    EXPECT_EQ(worker().download(item.get()), Failed);
    ASSERT_EQ(listener.shortages().size(), 1u);
    EXPECT_EQ(listener.shortages()[0].required, 10738167222ull);
    for (const auto &request : server.requests("/big.mp4"))
        EXPECT_EQ(request.method, "HEAD");
}

TEST_F(EndToEnd, stopAndWaitEndsARunningTransfer)
{
    HttpBehaviour slow;
    slow.bytesPerSecond = 64 << 10;
    server.serveGenerated("/slow.mp4", 50 << 20, slow);
    auto item = addItem(server.url("/slow.mp4"));
    worker();
    std::atomic<DownloadStatusValue> result{0};
    std::thread run([&] { result = worker().download(item.get()); });
    while (manager.count("progress") == 0 && result == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto started = std::chrono::steady_clock::now();
    worker().stopAndWait();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    run.join();
    EXPECT_EQ(result, Queued);
    EXPECT_FALSE(QFile::exists(mediaFolder + "/slow.vexo"));
}

// The download named next is measured while the current one transfers, even when it is named only
// after that transfer began; its own run then asks the server nothing more before fetching it.
TEST_F(EndToEnd, theNextDownloadIsMeasuredDuringTheCurrentTransfer)
{
    const std::string bytes = clipBytes();
    HttpBehaviour held;
    held.stallAfterBytes = 1024;
    held.stallFor = std::chrono::seconds(30);
    server.serveBytes("/first.mp4", bytes, held);
    server.serveBytes("/second.mp4", bytes);
    auto first = addItem(server.url("/first.mp4"));
    auto second = addItem(server.url("/second.mp4"));
    worker();
    std::atomic<DownloadStatusValue> result{0};
    std::thread run([&] { result = worker().download(first.get()); });
    // The size probe, then the transfer, which the server holds after its first bytes.
    ASSERT_TRUE(server.waitForRequests("/first.mp4", 2, std::chrono::seconds(10)));
    worker().expectNext(second->sourceUrl());
    EXPECT_TRUE(server.waitForRequests("/second.mp4", 1, std::chrono::seconds(10)));
    EXPECT_EQ(result.load(), 0) << "asked only after the first download ended";
    // The server may not have reached its stall yet: release until the run ends.
    while (result.load() == 0) {
        server.releaseStalls();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.join();
    ASSERT_EQ(result.load(), Completed);

    ASSERT_EQ(worker().download(second.get()), Completed);
    std::vector<std::string> methods;
    for (const auto &request : server.requests("/second.mp4"))
        methods.push_back(request.method);
    EXPECT_EQ(methods, (std::vector<std::string>{"HEAD", "GET"}));
    EXPECT_EQ(read(mediaFolder + "/second.vexo"), QByteArray::fromStdString(bytes));
}

// Partial data nobody can resume from goes: the part of a download that left the queue at once, a
// stray part that has lain unchanged for long at the next start; the part of a queued download, and
// a recent stray one, stay.
TEST_F(EndToEnd, partialDataThatNoQueuedDownloadCanResumeFromIsRemoved)
{
    // Where the engine keeps the part of each address: learnt from the engine itself.
    const auto partOf = [&](const std::string &url) {
        const std::u16string uri = QString::fromStdString(url).toStdU16String();
        const EngineApi engine = EngineBinding::forwardingTable();
        uint32_t file = 0;
        EXPECT_EQ(engine.fileOpenURIEx(uri.c_str(), 0, 0, nullptr, &file, EngineOpenFlags), VDM_OK);
        uint32_t bytes = 0;
        engine.fileGetOutputPath(file, nullptr, &bytes);
        std::u16string path(bytes / 2, u'\0');
        engine.fileGetOutputPath(file, path.data(), &bytes);
        engine.fileClose(file);
        return QString::fromStdU16String(path.c_str());
    };
    const auto makePart = [](const QString &path, int daysOld) {
        QDir().mkpath(QFileInfo(path).path());
        for (const QString &name : {path, path + ".meta"}) {
            QFile file(name);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("partial");
            file.flush();
            file.setFileTime(QDateTime::currentDateTime().addDays(-daysOld), QFileDevice::FileModificationTime);
        }
    };
    worker();  // the engine's folder follows the media folder from here on
    OSUtilities::setTempDownloadDirectoryParent(mediaFolder);

    const QString queued = partOf(server.url("/queued.mp4"));
    const QString removed = partOf(server.url("/removed.mp4"));
    const QString oldStray = partOf(server.url("/old-stray.mp4"));
    const QString newStray = partOf(server.url("/new-stray.mp4"));
    ASSERT_TRUE(queued.endsWith(".part")) << queued.toStdString();
    makePart(queued, 30);
    makePart(removed, 0);
    makePart(oldStray, 30);
    makePart(newStray, 1);

    worker().discardPartial(QUrl(QString::fromStdString(server.urlWithCredentials("/removed.mp4", "a", "b"))));
    EXPECT_FALSE(QFile::exists(removed));
    EXPECT_FALSE(QFile::exists(removed + ".meta"));

    worker().cleanStrayParts({QUrl(QString::fromStdString(server.url("/queued.mp4")))});
    EXPECT_TRUE(QFile::exists(queued));
    EXPECT_FALSE(QFile::exists(oldStray));
    EXPECT_FALSE(QFile::exists(oldStray + ".meta"));
    EXPECT_TRUE(QFile::exists(newStray));
}

// Servers that do not keep their word: nothing is written past the size promised, what arrives is
// what the item says it holds, and each ending says why.
TEST_F(EndToEnd, hostileServersAreHeldToWhatTheyAnnounced)
{
    // Each run's partial file is looked for where the engine writes.
    const auto leftovers = [&] {
        return QDir(OSUtilities::getTempDownloadDirectoryPath()).entryList(QDir::Files | QDir::Hidden);
    };
    // Passing faults are tried once only here: what is tested is the ending.
    lmtl::RefCountedPtr<lmds::IVexoSettings> engineSettings;
    ASSERT_TRUE(lmds::openSettings(SettingKeys::componentPath(VDM_SETTINGS_COMPONENT), lmds::kOpenCreateUser,
                                   engineSettings.receive()));
    ASSERT_TRUE(engineSettings->setValue(std::string(VDM_SETTING_RETRY_LIMIT), uint32_t(1)));

    // HEAD says 53,360 bytes; the GET streams without a length and without end.
    HttpBehaviour endless;
    endless.headLength = 53360;
    endless.length = HttpLengthMode::Omitted;
    server.serveGenerated("/endless.mp4", 1ull << 40, endless);
    auto item = addItem(server.url("/endless.mp4"));
    EXPECT_EQ(worker().download(item.get()), Failed);
    EXPECT_EQ(item->failureReason().kind, FailureKind::BodyLongerThanAnnounced);
    EXPECT_EQ(item->failureReason().message(), "the server sent more than the 52.1 KiB it announced");
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(", ").toStdString();

    // HEAD and GET disagree, and the GET says how long it is: the file is what the GET sent.
    for (const uint64_t sent : {uint64_t(70000), uint64_t(30000)}) {
        HttpBehaviour mismatch;
        mismatch.headLength = 53360;
        const std::string path = "/mismatch-" + std::to_string(sent) + ".mp4";
        server.serveGenerated(path, sent, mismatch);
        auto delivered = addItem(server.url(path));
        ASSERT_EQ(worker().download(delivered.get()), Completed) << sent;
        EXPECT_EQ(delivered->size(), sent);
        EXPECT_EQ(QFileInfo(delivered->fileUrl().toLocalFile()).size(), static_cast<qint64>(sent));
    }

    // A body cut short of its length by a server that names no version of it: nothing could resume
    // from what arrived.
    HttpBehaviour cut;
    cut.dropAfterBytes = 20000;
    cut.acceptRanges = false;
    cut.sendEtag = false;
    cut.sendLastModified = false;
    server.serveGenerated("/cut.mp4", 60000, cut);
    auto shortened = addItem(server.url("/cut.mp4"));
    EXPECT_EQ(worker().download(shortened.get()), Failed);
    EXPECT_EQ(shortened->failureReason().kind, FailureKind::ConnectionLost);
    EXPECT_TRUE(leftovers().isEmpty()) << "a part that cannot be resumed is not kept: "
                                       << leftovers().join(", ").toStdString();
}
