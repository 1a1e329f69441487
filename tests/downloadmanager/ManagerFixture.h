#pragma once
// A download manager built in-process against the in-memory library, a scripted worker and a
// recording hub. The scheduler thread is off unless a test turns it on before building.

#include "downloadmanager/DownloadManager.h"
#include "downloadmanager/DownloadManagerImpl.h"
#include "plugin/InterfaceNames.h"
#include "plugin/Topics.h"
#include "tests/support/FakeDownloadThread.h"
#include "tests/support/FakeMediaLibrary.h"
#include "tests/support/FakePlayer.h"
#include "tests/support/PubSubRecorder.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestHostContext.h"

#include <gtest/gtest.h>

#include <atomic>

namespace Lumora {
// Reaches the manager's locks, so that a test can stage the races its operations must survive.
struct DownloadManagerImplTestAccess {
    static std::mutex &stateLock(DownloadManager::DownloadManagerImpl &impl) { return impl.m_stateLock; }
};
} // namespace Lumora

namespace LumoraTest {

using Impl = Lumora::DownloadManager::DownloadManagerImpl;
using ImplAccess = Lumora::DownloadManagerImplTestAccess;

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

inline const QString ItemChanged = QLatin1String(Lumora::HubTopics::MediaItemChanged);
inline const QString ItemRemoved = QLatin1String(Lumora::HubTopics::MediaItemRemoved);
inline const QString ListChanged = QLatin1String(Lumora::HubTopics::MediaListChanged);
inline const QString StatusChanged = QLatin1String(Lumora::HubTopics::DownloadStatusChanged);
inline const QString Paused = QLatin1String(Lumora::HubTopics::DownloadStatusPaused);
inline const QString ShowDownload = QLatin1String(Lumora::HubTopics::ShowDownload);

} // namespace LumoraTest
