#pragma once
// The files the library knows: video files (finished downloads registered by addVideoFile, or by a
// host) and acquired files. Like queued files, each has one object for as long as the library is
// open, and the store keeps it.
//
// A video file's setTrackInfo is written at once: the download worker updates the track
// information of a file the library already knew without ever committing it afterwards, and that
// update must not vanish with the object. commit() writes the other attributes.

#include "lmtl/IRefCounted.h"
#include "plugin/MediaLibrary.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <mutex>

namespace Lumora {

class LibraryStore;

inline constexpr int32_t MediaKindVideo = 1;

struct MediaFileRecord {
    int32_t kind = MediaKindVideo;
    QUrl url;
    QString title;
    uint64_t durationMs = 0;  // the inspector's file measure
    int32_t width = 0;        // the inspector's track measure, low and high halves
    int32_t height = 0;
    uint64_t sourceItemId = 0;  // the queued file it was downloaded as, 0 when none
    int64_t addedAt = 0;
};

class LibraryVideoFile final : public lmtl::RefCountedImpl<MediaManagerInterface::VideoFileInterface> {
public:
    LibraryVideoFile(std::shared_ptr<LibraryStore> store, uint64_t id, const MediaFileRecord &record);

    uint64_t id() const override { return m_id; }
    QUrl fileUrl() const override;
    bool commit() override;
    void setTrackInfo(int32_t low, int32_t high) override;

    // For hosts.
    MediaFileRecord record() const;
    bool setTitle(const QString &title);

    // For the store.
    void replaceRecord(const MediaFileRecord &record);
    void markRemoved();
    bool isRemoved() const;

private:
    ~LibraryVideoFile() override;

    std::shared_ptr<LibraryStore> m_store;
    const uint64_t m_id;
    mutable std::mutex m_mutex;
    MediaFileRecord m_record;
    bool m_removed = false;
};

class LibraryAcquiredFile final : public lmtl::RefCountedImpl<MediaManagerInterface::AcquiredFileInterface> {
public:
    LibraryAcquiredFile(uint64_t id, const QUrl &url) : m_id(id), m_url(url) {}
    uint64_t id() const override { return m_id; }
    QUrl fileUrl() const override { return m_url; }

private:
    ~LibraryAcquiredFile() override = default;

    const uint64_t m_id;
    const QUrl m_url;
};

} // namespace Lumora
