#include "tests/worker/WorkerFakes.h"

#include <algorithm>
#include <cstring>

namespace LumoraTest {

namespace {

std::mutex activeMutex;
FakeEngine *active = nullptr;

FakeEngine &engine()
{
    std::lock_guard lock(activeMutex);
    return *active;
}

} // namespace

// The entry points: plain functions over the active script.
struct FakeEngineCalls {
    static int32_t serviceIsRunning()
    {
        FakeEngine &e = engine();
        e.record("service");
        const int stopsAfter = e.serviceStopsAfterPasses.load();
        if (stopsAfter >= 0 && e.infoPasses.load() >= stopsAfter)
            return 0;
        return e.serviceRunning.load() ? 1 : 0;
    }
    static int32_t setOption(uint32_t *config, const char16_t *plugin, const char16_t *option, const char16_t *value)
    {
        FakeEngine &e = engine();
        e.record("option");
        std::lock_guard lock(e.m_mutex);
        if (std::u16string(plugin) != u"urifile1")
            return VDM_E_UNKNOWN_OPTION;
        e.m_options.emplace_back(option, value);
        *config = 7;
        return 0;
    }
    static int32_t open(const char16_t *uri, int32_t, int32_t, uint32_t *config, uint32_t *file, uint32_t flags)
    {
        FakeEngine &e = engine();
        e.record("open");
        {
            std::lock_guard lock(e.m_mutex);
            e.m_uri = uri;
        }
        if (flags != Lumora::EngineOpenFlags)
            return VDM_E_INVALID_ARGUMENT;
        const int32_t result = e.openResult.load();
        if (result == 0) {
            *file = 42;
            *config = 0;
            e.fileOpen = true;
        }
        return result;
    }
    static int32_t check(uint32_t)
    {
        FakeEngine &e = engine();
        e.record("check");
        int left = e.notReadyChecks.load();
        if (left == 0)
            return 0;
        if (left > 0)
            e.notReadyChecks = left - 1;
        return VDM_NOT_READY;
    }
    static int32_t pause(uint32_t, int32_t pause)
    {
        engine().record(pause ? "pause" : "start");
        return 0;
    }
    static int32_t info(uint32_t, VDMFileInfo *record)
    {
        FakeEngine &e = engine();
        e.record("info");
        FakeEngine::InfoScript script;
        {
            std::lock_guard lock(e.m_mutex);
            script = e.m_info;
        }
        const FakeEngine::Info answer = script ? script(e.infoPasses.load()) : FakeEngine::Info{};
        ++e.infoPasses;
        if (answer.fill) {
            std::memset(record, 0, sizeof *record);
            record->total = answer.total;
            record->received = answer.received;
            record->result = answer.failure;
            record->httpStatus = answer.httpStatus;
            record->attempt = answer.attempt;
            record->maxAttempts = answer.maxAttempts;
            record->retryDelayMs = answer.retryDelayMs;
            record->retryReason = answer.retryReason;
            record->state = answer.retryDelayMs ? VDM_STATE_RETRYING : VDM_STATE_RUNNING;
        }
        return answer.result;
    }
    static int32_t close(uint32_t)
    {
        FakeEngine &e = engine();
        e.record("close");
        e.fileOpen = false;
        return 0;
    }
    static int32_t outputPath(uint32_t, char16_t *buffer, uint32_t *size)
    {
        FakeEngine &e = engine();
        e.record(buffer ? "path" : "pathSize");
        std::u16string path;
        {
            std::lock_guard lock(e.m_mutex);
            path = e.outputPath;
        }
        if (path.empty())
            return VDM_E_INVALID_HANDLE;
        const uint32_t needed = static_cast<uint32_t>((path.size() + 1) * sizeof(char16_t));
        if (!buffer || *size < needed) {
            *size = needed;
            return buffer ? VDM_E_BUFFER_TOO_SMALL : 0;
        }
        std::memcpy(buffer, path.c_str(), needed);
        return 0;
    }
};

FakeEngine::FakeEngine()
{
    std::lock_guard lock(activeMutex);
    active = this;
}

FakeEngine::~FakeEngine()
{
    std::lock_guard lock(activeMutex);
    if (active == this)
        active = nullptr;
}

Lumora::EngineApi FakeEngine::api() const
{
    Lumora::EngineApi api;
    api.serviceIsRunning = &FakeEngineCalls::serviceIsRunning;
    api.setFileConfigPluginOption = &FakeEngineCalls::setOption;
    api.fileOpenURIEx = &FakeEngineCalls::open;
    api.fileCheck = &FakeEngineCalls::check;
    api.filePause = &FakeEngineCalls::pause;
    api.fileGetInfo = &FakeEngineCalls::info;
    api.fileClose = &FakeEngineCalls::close;
    api.fileGetOutputPath = &FakeEngineCalls::outputPath;
    return api;
}

void FakeEngine::setInfoScript(InfoScript script)
{
    std::lock_guard lock(m_mutex);
    m_info = std::move(script);
}

void FakeEngine::scriptTransfer(uint64_t total, uint64_t step)
{
    setInfoScript([total, step](int pass) {
        const uint64_t received = std::min<uint64_t>(total, step * static_cast<uint64_t>(pass + 1));
        return Info{received == total ? VDM_ENDED : 0, total, received};
    });
}

void FakeEngine::record(const std::string &call)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back(call);
}

std::vector<std::string> FakeEngine::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

int FakeEngine::count(const std::string &call) const
{
    const auto all = calls();
    return static_cast<int>(std::count(all.begin(), all.end(), call));
}

std::vector<std::pair<std::u16string, std::u16string>> FakeEngine::options() const
{
    std::lock_guard lock(m_mutex);
    return m_options;
}

std::u16string FakeEngine::openedUri() const
{
    std::lock_guard lock(m_mutex);
    return m_uri;
}

// ---- RecordingManager ----

void RecordingManager::add(Call call)
{
    const std::string name = call.name;
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    if (onCall)
        onCall(name);
}

std::vector<RecordingManager::Call> RecordingManager::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<std::string> RecordingManager::names() const
{
    std::vector<std::string> out;
    for (const auto &c : calls())
        out.push_back(c.name);
    return out;
}

std::vector<int64_t> RecordingManager::values(const std::string &name) const
{
    std::vector<int64_t> out;
    for (const auto &c : calls())
        if (c.name == name)
            out.push_back(c.value);
    return out;
}

int RecordingManager::count(const std::string &name) const
{
    return static_cast<int>(values(name).size());
}

bool RecordingManager::setDownloadStatus(QueuedFileInterface *item, Lumora::DownloadStatusValue status)
{
    item->setStatus(status);
    add({"status", status, {}});
    return true;
}

bool RecordingManager::setDownloadFile(QueuedFileInterface *item, const QUrl &fileUrl)
{
    item->setFileUrl(fileUrl);
    add({"file", 0, fileUrl});
    return true;
}

bool RecordingManager::setDownloadSize(QueuedFileInterface *item, uint64_t bytes)
{
    item->setSize(bytes);
    add({"size", static_cast<int64_t>(bytes), {}});
    return true;
}

bool RecordingManager::setDownloadProgress(QueuedFileInterface *item, int32_t percent)
{
    item->setProgress(percent);
    add({"progress", percent, {}});
    if (onProgress)
        onProgress(item);
    return true;
}

bool RecordingManager::setDownloadFlag(QueuedFileInterface *item, int32_t flag)
{
    item->setFlag(flag);
    add({"flag", flag, {}});
    return true;
}

bool RecordingManager::playDownload(uint64_t id)
{
    add({"play", static_cast<int64_t>(id), {}});
    return playAnswer.load();
}

// ---- RecordingListener ----

bool RecordingListener::diskSpaceLow(const QString &name, const QString &drive, const QString &target,
                                     uint64_t required, uint64_t freeBytes)
{
    std::lock_guard lock(m_mutex);
    m_shortages.push_back({name, drive, target, required, freeBytes});
    return true;
}

void RecordingListener::downloadFailed(const QUrl &fileUrl)
{
    std::lock_guard lock(m_mutex);
    m_failures.push_back(fileUrl);
}

std::vector<RecordingListener::Shortage> RecordingListener::shortages() const
{
    std::lock_guard lock(m_mutex);
    return m_shortages;
}

std::vector<QUrl> RecordingListener::failures() const
{
    std::lock_guard lock(m_mutex);
    return m_failures;
}

// ---- FakeInspector ----

int32_t FakeInspector::getInterface(const VSE::AllocatedString<char> &name, void **out)
{
    if (!out)
        return VSE::PluginNotAvailable;
    *out = nullptr;
    if (!(name == VSE::InterfaceNames::fileInspector()))
        return VSE::PluginNotAvailable;
    *out = static_cast<VSE::FileInspectorInterface *>(this);
    return VSE::PluginOk;
}

int32_t FakeInspector::open(VSE::AllocatedString<unsigned char> url)
{
    ++opens;
    std::lock_guard lock(m_mutex);
    m_lastUrl = std::string(url.view());
    return openResult.load();
}

int32_t FakeInspector::close()
{
    ++closes;
    return 0;
}

int32_t FakeInspector::queryFileMeasure(uint64_t *out)
{
    if (queryResult.load() != 0)
        return queryResult.load();
    *out = fileMeasure.load();
    return 0;
}

int32_t FakeInspector::queryTrackMeasure(int32_t index, uint64_t *out)
{
    if (queryResult.load() != 0 || index != 0)
        return 1;
    *out = trackMeasure.load();
    return 0;
}

int32_t FakeInspector::queryTrackCount(int32_t *out)
{
    *out = 1;
    return 0;
}

int32_t FakeInspector::queryTrackKind(int32_t, int32_t *out)
{
    *out = VSE::TrackVideo;
    return 0;
}

std::string FakeInspector::lastUrl() const
{
    std::lock_guard lock(m_mutex);
    return m_lastUrl;
}

} // namespace LumoraTest
