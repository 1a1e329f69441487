#pragma once
// The plugin object. One object implements the three interfaces the plugin answers (their names:
// InterfaceNames::downloadManager(), shutdown() and uriReceiver()): DownloadManagerInterface,
// ShutdownInterface and URIReceiver.
// The work itself lives in DownloadManagerImpl; this class is the frame around it.

#include "plugin/DownloadManagerInterface.h"
#include "plugin/Plugin.h"
#include "plugin/ShutdownInterface.h"
#include "plugin/URIReceiver.h"

#include <memory>
#include <mutex>

namespace Lumora {

class DownloadManager : public VSE::Plugin,
                        public DownloadManagerInterface,
                        public ShutdownInterface,
                        public URIReceiver {
public:
    class DownloadManagerImpl;

    explicit DownloadManager(VSE::PluginContext *context);
    ~DownloadManager() override;

    int32_t getInterface(const VSE::AllocatedString<char> &name, void **out) override;

    // DownloadManagerInterface
    void setDownloadListener(DownloadListener *listener) override;
    bool findDownload(const QUrl &url, QueuedFileInterface **out) override;
    bool addDownload(QueuedFileInterface **out, const QUrl &url, const QString &title,
                     const QString &description) override;
    bool setDownloadStatus(QueuedFileInterface *item, DownloadStatusValue status) override;
    bool setDownloadFile(QueuedFileInterface *item, const QUrl &fileUrl) override;
    bool setDownloadSize(QueuedFileInterface *item, uint64_t bytes) override;
    bool setDownloadProgress(QueuedFileInterface *item, int32_t percent) override;
    bool setDownloadCounter(QueuedFileInterface *item, int32_t counter) override;
    bool setDownloadOption(QueuedFileInterface *item, int32_t option) override;
    bool setDownloadInfo(QueuedFileInterface *item, DownloadInfo info) override;
    bool setDownloadFlag(QueuedFileInterface *item, int32_t flag) override;
    bool setDownloadPair(QueuedFileInterface *item, int32_t first, int32_t second) override;
    bool isPaused() override;
    bool hasPendingDownloads() override;
    bool hasCompletedDownloads() override;
    void pauseAll() override;
    void resumeAll() override;
    void stopCurrentDownload() override;
    void clearCompletedDownloads() override;
    bool removeDownload(uint64_t id) override;
    void retryDownload(uint64_t id) override;
    bool playDownload(uint64_t id) override;
    bool moveDownload(uint64_t id, int64_t position) override;
    void setDownloadPlaylist(PlaylistInterface *playlist) override;

    // ShutdownInterface
    void shutdown() override;

    // URIReceiver
    QStringList supportedSchemes() override;
    QStringList supportedMimeTypes(const QString &scheme) override;
    void receiveURI(const QUrl &uri) override;

    DownloadManagerImpl *impl() const { return m_impl.get(); }

private:
    void stopAndDeleteImpl();

    std::unique_ptr<DownloadManagerImpl> m_impl;
    DownloadListener *m_listener = nullptr;
    bool m_holdsSelfReference = false;
    std::mutex m_intakeMutex;
};

} // namespace Lumora
