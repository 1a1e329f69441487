#pragma once
// A download manager built in-process against the in-memory library, a scripted worker and a
// recording hub. The scheduler thread is off unless a test turns it on before building.

#include "downloadmanager/DownloadManager.h"
#include "downloadmanager/DownloadManagerImpl.h"
#include "plugin/InterfaceNames.h"
#include "tests/support/FakeDownloadThread.h"
#include "tests/support/FakeMediaLibrary.h"
#include "tests/support/FakePlayer.h"
#include "tests/support/PubSubRecorder.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestHostContext.h"

#include <gtest/gtest.h>

#include <atomic>

namespace LumoraTest {

using Impl = Lumora::DownloadManager::DownloadManagerImpl;

class ManagerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        Impl::setWorkerFactory([this](VSE::PluginContext *) {
            auto worker = std::make_unique<FakeDownloadThread>();
            worker->setScript(initialScript);
            this->worker = worker.get();
            return worker;
        });
        Impl::setSchedulerEnabled(schedulerEnabled);
        library = new FakeMediaLibrary(&context);
        context.addInstance(library, context.describe("library", {VSE::InterfaceNames::MediaManagerText,
                                                                  VSE::InterfaceNames::MediaManagerV2Text}));
    }

    void TearDown() override
    {
        destroyManager();
        Impl::setWorkerFactory(nullptr);
        Impl::setSchedulerEnabled(true);
    }

    void addPlayer()
    {
        player = new FakePlayer(&context);
        context.addInstance(player, context.describe("player", {VSE::InterfaceNames::PlaybackServicesText,
                                                                VSE::InterfaceNames::PlayerText}));
    }

    Lumora::DownloadManager &build()
    {
        manager = new Lumora::DownloadManager(&context);
        return *manager;
    }

    void destroyManager()
    {
        if (!manager)
            return;
        manager->shutdown();
        manager->release();
        manager = nullptr;
    }

    std::vector<QString> topics() const { return recorder.topics(); }
    int64_t indexOf(uint64_t id) const
    {
        const auto ids = library->playlistIds();
        for (size_t i = 0; i < ids.size(); ++i)
            if (ids[i] == id)
                return static_cast<int64_t>(i);
        return -1;
    }

    TempHome home;
    TestHostContext context;
    FakeMediaLibrary *library = nullptr;
    FakePlayer *player = nullptr;
    std::atomic<FakeDownloadThread *> worker{nullptr};
    FakeDownloadThread::Script initialScript;
    Lumora::DownloadManager *manager = nullptr;
    PubSubRecorder recorder;
    bool schedulerEnabled = false;
};

inline const QString ItemChanged = QStringLiteral("Media.Item.Changed");
inline const QString ItemRemoved = QStringLiteral("Media.Item.Removed");
inline const QString ListChanged = QStringLiteral("Media.List.Changed");
inline const QString StatusChanged = QStringLiteral("Download.Status.Changed");
inline const QString Paused = QStringLiteral("Download.Status.Paused");
inline const QString ShowDownload = QStringLiteral("Show.Download");

} // namespace LumoraTest
