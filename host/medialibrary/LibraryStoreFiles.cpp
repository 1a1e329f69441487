#include "host/medialibrary/LibraryStore.h"

#include "host/medialibrary/LibraryStoreHelpers.h"
#include "host/medialibrary/LibraryUrls.h"

#include <QDateTime>

#include <sqlite3.h>

namespace Lumora {

namespace {

using LibraryStoreHelpers::asStored;
using LibraryStoreHelpers::handOut;

constexpr const char kSelectVideoByKey[] =
    "SELECT id, kind, url, title, duration_ms, width, height, source_item_id, added_at FROM media_files WHERE url_key = ?1";
constexpr const char kInsertVideo[] =
    "INSERT INTO media_files (id, kind, url, url_key, title, duration_ms, width, height, source_item_id, added_at) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)";
constexpr const char kUpdateVideo[] =
    "UPDATE media_files SET title = ?2, duration_ms = ?3, width = ?4, height = ?5, source_item_id = ?6 WHERE id = ?1";
constexpr const char kSelectAcquiredByKey[] = "SELECT id, url FROM acquired_files WHERE url_key = ?1";
constexpr const char kInsertAcquired[] = "INSERT INTO acquired_files (id, url, url_key, acquired_at) VALUES (?1, ?2, ?3, ?4)";

MediaFileRecord readVideo(const SqliteStatement &row)
{
    MediaFileRecord r;
    r.kind = static_cast<int32_t>(row.int64At(1));
    r.url = LibraryUrls::fromStored(row.textAt(2));
    r.title = row.textAt(3);
    r.durationMs = static_cast<uint64_t>(row.int64At(4));
    r.width = static_cast<int32_t>(row.int64At(5));
    r.height = static_cast<int32_t>(row.int64At(6));
    r.sourceItemId = static_cast<uint64_t>(row.int64At(7));
    r.addedAt = row.int64At(8);
    return r;
}

} // namespace

// Media files read earlier follow what another process did to them.
void LibraryStore::refreshVideos()
{
    for (auto it = m_videos.begin(); it != m_videos.end();) {
        SqliteStatement &video = m_db->statement(kSelectVideoByKey);
        video.bind(1, it->first);
        if (video.step() == SQLITE_ROW && static_cast<uint64_t>(video.int64At(0)) == it->second->id()) {
            it->second->replaceRecord(readVideo(video));
            ++it;
        } else {
            it->second->markRemoved();
            it = m_videos.erase(it);
        }
        video.reset();
    }
}

lmtl::RefCountedPtr<LibraryVideoFile> LibraryStore::cachedVideo(const QString &key) const
{
    auto found = m_videos.find(key);
    return found == m_videos.end() ? lmtl::RefCountedPtr<LibraryVideoFile>() : found->second;
}

lmtl::RefCountedPtr<LibraryVideoFile> LibraryStore::loadVideo(const QString &key)
{
    if (auto known = cachedVideo(key))
        return known;
    SqliteStatement &select = m_db->statement(kSelectVideoByKey);
    select.bind(1, key);
    lmtl::RefCountedPtr<LibraryVideoFile> video;
    if (select.step() == SQLITE_ROW) {
        video = lmtl::adopt(new LibraryVideoFile(shared_from_this(), static_cast<uint64_t>(select.int64At(0)), readVideo(select)));
        m_videos.emplace(key, video);
    }
    select.reset();
    return video;
}

bool LibraryStore::findMediaFile(const QUrl &url, MediaFileInterface **out)
{
    if (!out || url.isEmpty())
        return false;
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    refreshIfChanged();
    return handOut(loadVideo(LibraryUrls::fileKey(url)), out);
}

bool LibraryStore::addVideoFile(const MediaFileRecord &record, VideoFileInterface **out)
{
    if (!out || record.url.isEmpty())
        return false;
    const QString key = LibraryUrls::fileKey(record.url);
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    WriteTransaction transaction(*m_db);
    if (!transaction.isOpen())
        return false;
    refreshIfChanged();
    if (loadVideo(key))
        return false;  // already known: the caller updates that one instead
    uint64_t id = 0;
    if (!allocateId(&id))
        return false;
    SqliteStatement &insert = m_db->statement(kInsertVideo);
    insert.bind(1, asStored(id))
        .bind(2, int64_t(record.kind))
        .bind(3, LibraryUrls::toStored(record.url))
        .bind(4, key)
        .bind(5, record.title)
        .bind(6, asStored(record.durationMs))
        .bind(7, int64_t(record.width))
        .bind(8, int64_t(record.height))
        .bind(9, asStored(record.sourceItemId))
        .bind(10, record.addedAt);
    if (!insert.run() || !transaction.commit())
        return false;
    auto video = lmtl::adopt(new LibraryVideoFile(shared_from_this(), id, record));
    m_videos.emplace(key, video);
    return handOut(video, out);
}

bool LibraryStore::commitVideoFile(LibraryVideoFile &file)
{
    const MediaFileRecord record = file.record();
    std::lock_guard lock(m_mutex);
    if (!m_db || file.isRemoved())
        return false;
    WriteTransaction transaction(*m_db);
    if (!transaction.isOpen())
        return false;
    SqliteStatement &update = m_db->statement(kUpdateVideo);
    update.bind(1, asStored(file.id()))
        .bind(2, record.title)
        .bind(3, asStored(record.durationMs))
        .bind(4, int64_t(record.width))
        .bind(5, int64_t(record.height))
        .bind(6, asStored(record.sourceItemId));
    return update.run() && sqlite3_changes(m_db->handle()) == 1 && transaction.commit();
}

bool LibraryStore::findAcquiredFile(const QUrl &url, AcquiredFileInterface **out)
{
    if (!out || url.isEmpty())
        return false;
    const QString key = LibraryUrls::fileKey(url);
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    if (auto found = m_acquired.find(key); found != m_acquired.end())
        return handOut(found->second, out);
    SqliteStatement &select = m_db->statement(kSelectAcquiredByKey);
    select.bind(1, key);
    lmtl::RefCountedPtr<LibraryAcquiredFile> file;
    if (select.step() == SQLITE_ROW) {
        file = lmtl::adopt(new LibraryAcquiredFile(static_cast<uint64_t>(select.int64At(0)),
                                                   LibraryUrls::fromStored(select.textAt(1))));
        m_acquired.emplace(key, file);
    }
    select.reset();
    return handOut(file, out);
}

bool LibraryStore::addAcquiredFile(const QUrl &url, AcquiredFileInterface **out)
{
    if (url.isEmpty())
        return false;
    AcquiredFileInterface *existing = nullptr;
    if (findAcquiredFile(url, &existing)) {
        if (out)
            *out = existing;
        else
            existing->release();
        return true;
    }
    const QString key = LibraryUrls::fileKey(url);
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    WriteTransaction transaction(*m_db);
    if (!transaction.isOpen())
        return false;
    uint64_t id = 0;
    if (!allocateId(&id))
        return false;
    SqliteStatement &insert = m_db->statement(kInsertAcquired);
    insert.bind(1, asStored(id)).bind(2, LibraryUrls::toStored(url)).bind(3, key).bind(4, QDateTime::currentMSecsSinceEpoch());
    if (!insert.run() || !transaction.commit())
        return false;
    auto file = lmtl::adopt(new LibraryAcquiredFile(id, url));
    m_acquired.emplace(key, file);
    return !out || handOut(file, out);
}

} // namespace Lumora
