#pragma once
// A gmock download manager for unit tests of what hosts ask of it. Link GTest::gmock.

#include "plugin/DownloadManagerInterface.h"

#include <gmock/gmock.h>

namespace LumoraTest {

class MockDownloadManager : public Lumora::DownloadManagerInterface {
public:
    MOCK_METHOD(void, setDownloadListener, (Lumora::DownloadListener *), (override));
    MOCK_METHOD(bool, findDownload, (const QUrl &, QueuedFileInterface **), (override));
    MOCK_METHOD(bool, addDownload, (QueuedFileInterface **, const QUrl &, const QString &, const QString &), (override));
    MOCK_METHOD(bool, setDownloadStatus, (QueuedFileInterface *, Lumora::DownloadStatusValue), (override));
    MOCK_METHOD(bool, setDownloadFile, (QueuedFileInterface *, const QUrl &), (override));
    MOCK_METHOD(bool, setDownloadSize, (QueuedFileInterface *, uint64_t), (override));
    MOCK_METHOD(bool, setDownloadProgress, (QueuedFileInterface *, int32_t), (override));
    MOCK_METHOD(bool, setDownloadCounter, (QueuedFileInterface *, int32_t), (override));
    MOCK_METHOD(bool, setDownloadOption, (QueuedFileInterface *, int32_t), (override));
    MOCK_METHOD(bool, setDownloadInfo, (QueuedFileInterface *, Lumora::DownloadInfo), (override));
    MOCK_METHOD(bool, setDownloadFlag, (QueuedFileInterface *, int32_t), (override));
    MOCK_METHOD(bool, setDownloadPair, (QueuedFileInterface *, int32_t, int32_t), (override));
    MOCK_METHOD(bool, isPaused, (), (override));
    MOCK_METHOD(bool, hasPendingDownloads, (), (override));
    MOCK_METHOD(bool, hasCompletedDownloads, (), (override));
    MOCK_METHOD(void, pauseAll, (), (override));
    MOCK_METHOD(void, resumeAll, (), (override));
    MOCK_METHOD(void, stopCurrentDownload, (), (override));
    MOCK_METHOD(void, clearCompletedDownloads, (), (override));
    MOCK_METHOD(bool, removeDownload, (uint64_t), (override));
    MOCK_METHOD(void, retryDownload, (uint64_t), (override));
    MOCK_METHOD(bool, playDownload, (uint64_t), (override));
    MOCK_METHOD(bool, moveDownload, (uint64_t, int64_t), (override));
    MOCK_METHOD(void, setDownloadPlaylist, (PlaylistInterface *), (override));
};

} // namespace LumoraTest
