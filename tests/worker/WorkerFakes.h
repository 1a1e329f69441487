#pragma once
// Stand-ins for what the worker talks to in its unit tests: a scripted engine (an EngineApi whose
// entry points answer from a script and record every call), a manager that records what the worker
// reports, the host's listener, and a file inspector plugin.

#include "plugin/DownloadListener.h"
#include "plugin/DownloadManagerInterface.h"
#include "plugin/FileInspectorInterface.h"
#include "plugin/InterfaceNames.h"
#include "plugin/Plugin.h"
#include "worker/EngineApi.h"

#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace LumoraTest {

using QueuedFile = Lumora::MediaManagerInterface::QueuedFileInterface;

// The engine as a script. One instance is active at a time (the entry points are plain functions).
class FakeEngine {
public:
    struct Info {
        int32_t result = 0;  // 0: running; non-zero: ended
        uint64_t total = 0;
        uint64_t received = 0;
        bool fill = true;    // false: leave the record as the caller passed it
        int32_t failure = VDM_OK;  // the record's result: why an ended transfer failed
        int32_t httpStatus = 0;
        // A wait to try again: the try that comes, out of how many, in how long, and why.
        uint32_t attempt = 0;
        uint32_t maxAttempts = 0;
        uint32_t retryDelayMs = 0;
        int32_t retryReason = VDM_OK;
    };
    using InfoScript = std::function<Info(int pass)>;

    FakeEngine();
    ~FakeEngine();

    Lumora::EngineApi api() const;

    // Script (set before the run; the run reads it from the scheduler's thread).
    std::atomic<int32_t> openResult{0};
    std::atomic<int> notReadyChecks{0};  // VDMFileCheck answers 2 this many times (-1: always)
    std::atomic<bool> serviceRunning{true};
    std::atomic<int> serviceStopsAfterPasses{-1};  // VDMServiceIsRunning turns 0 on this info pass
    std::u16string outputPath;                      // empty: VDMFileGetOutputPath gives nothing
    void setInfoScript(InfoScript script);
    // A transfer of total bytes that arrives in steps of step bytes per pass, then ends complete.
    void scriptTransfer(uint64_t total, uint64_t step);

    // Observations.
    std::vector<std::string> calls() const;
    int count(const std::string &call) const;
    std::vector<std::pair<std::u16string, std::u16string>> options() const;  // option name, value
    std::u16string openedUri() const;
    std::atomic<int> infoPasses{0};
    std::atomic<bool> fileOpen{false};

private:
    friend struct FakeEngineCalls;
    void record(const std::string &call);

    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::vector<std::pair<std::u16string, std::u16string>> m_options;
    std::u16string m_uri;
    InfoScript m_info;
};

// Records the worker's reports; every setter succeeds and sends nothing.
class RecordingManager : public Lumora::DownloadManagerInterface {
public:
    struct Call {
        std::string name;
        int64_t value = 0;
        QUrl url;
    };

    std::vector<Call> calls() const;
    std::vector<std::string> names() const;
    std::vector<int64_t> values(const std::string &name) const;
    int count(const std::string &name) const;

    std::atomic<bool> playAnswer{true};
    std::function<void(const std::string &)> onCall;  // set before the run

    void setDownloadListener(Lumora::DownloadListener *) override {}
    bool findDownload(const QUrl &, QueuedFileInterface **) override { return false; }
    bool addDownload(QueuedFileInterface **, const QUrl &, const QString &, const QString &) override { return false; }
    bool setDownloadStatus(QueuedFileInterface *item, Lumora::DownloadStatusValue status) override;
    bool setDownloadFile(QueuedFileInterface *item, const QUrl &fileUrl) override;
    bool setDownloadSize(QueuedFileInterface *item, uint64_t bytes) override;
    bool setDownloadProgress(QueuedFileInterface *item, int32_t percent) override;
    bool setDownloadCounter(QueuedFileInterface *, int32_t) override { return true; }
    bool setDownloadOption(QueuedFileInterface *, int32_t) override { return true; }
    bool setDownloadInfo(QueuedFileInterface *, Lumora::DownloadInfo) override { return true; }
    bool setDownloadFlag(QueuedFileInterface *item, int32_t flag) override;
    bool setDownloadPair(QueuedFileInterface *, int32_t, int32_t) override { return true; }
    bool isPaused() override { return false; }
    bool hasPendingDownloads() override { return false; }
    bool hasCompletedDownloads() override { return false; }
    void pauseAll() override {}
    void resumeAll() override {}
    void stopCurrentDownload() override {}
    void clearCompletedDownloads() override {}
    bool removeDownload(uint64_t) override { return false; }
    void retryDownload(uint64_t) override {}
    bool playDownload(uint64_t id) override;
    bool moveDownload(uint64_t, int64_t) override { return false; }
    void setDownloadPlaylist(PlaylistInterface *) override {}

    // Called with every progress report, on the worker's thread.
    std::function<void(QueuedFileInterface *)> onProgress;

private:
    void add(Call call);

    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
};

class RecordingListener : public Lumora::DownloadListener {
public:
    struct Shortage {
        QString name, drive, target;
        uint64_t required = 0, free = 0;
    };

    bool diskSpaceLow(const QString &name, const QString &drive, const QString &target, uint64_t required,
                      uint64_t freeBytes) override;
    void downloadFailed(const QUrl &fileUrl) override;

    std::vector<Shortage> shortages() const;
    std::vector<QUrl> failures() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Shortage> m_shortages;
    std::vector<QUrl> m_failures;
};

class FakeInspector : public VSE::Plugin, public VSE::FileInspectorInterface {
public:
    using VSE::Plugin::Plugin;

    int32_t getInterface(const VSE::AllocatedString<char> &name, void **out) override;
    int32_t open(VSE::AllocatedString<unsigned char> url) override;
    int32_t close() override;
    int32_t queryFileMeasure(uint64_t *out) override;
    int32_t queryTrackMeasure(int32_t index, uint64_t *out) override;
    int32_t queryTrackCount(int32_t *out) override;
    int32_t queryTrackKind(int32_t index, int32_t *out) override;

    std::atomic<int32_t> openResult{0};
    std::atomic<int32_t> queryResult{0};
    std::atomic<uint64_t> fileMeasure{12345};
    std::atomic<uint64_t> trackMeasure{(uint64_t(240) << 32) | 320};
    std::atomic<int> opens{0}, closes{0};
    std::string lastUrl() const;

private:
    mutable std::mutex m_mutex;
    std::string m_lastUrl;
};

} // namespace LumoraTest
