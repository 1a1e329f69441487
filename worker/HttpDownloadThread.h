#pragma once
// Runs one download at a time on the caller's thread.

#include "lmtl/RefCountedPtr.h"
#include "plugin/PluginContext.h"
#include "worker/DownloadThreadInterface.h"

#include <atomic>
#include <mutex>

namespace Lumora {

class HttpDownloadThread : public DownloadThreadInterface {
public:
    explicit HttpDownloadThread(VSE::PluginContext *context);
    ~HttpDownloadThread() override;

    bool getCurrentItem(QueuedFileInterface **out) override;
    DownloadStatusValue download(QueuedFileInterface *item) override;
    void stopAndWait() override;
    void setManager(DownloadManagerInterface *manager, DownloadListener *listener) override;
    void requestStop(QueuedFileInterface *item) override;

private:
    VSE::PluginContext *m_context;
    std::mutex m_itemMutex;
    lmtl::RefCountedPtr<QueuedFileInterface> m_currentItem;
    std::atomic<DownloadManagerInterface *> m_manager{nullptr};
    std::atomic<DownloadListener *> m_listener{nullptr};
    std::atomic<DownloadStatusValue> m_jobStatus{Queued};
};

} // namespace Lumora
