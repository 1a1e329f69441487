#include "host/medialibrary/LibraryMediaFiles.h"

#include "host/medialibrary/LibraryStore.h"

namespace Lumora {

LibraryVideoFile::LibraryVideoFile(std::shared_ptr<LibraryStore> store, uint64_t id, const MediaFileRecord &record)
    : m_store(std::move(store)), m_id(id), m_record(record)
{
}

LibraryVideoFile::~LibraryVideoFile() = default;

QUrl LibraryVideoFile::fileUrl() const
{
    std::lock_guard lock(m_mutex);
    return m_record.url;
}

bool LibraryVideoFile::commit()
{
    return m_store->commitVideoFile(*this);
}

void LibraryVideoFile::setTrackInfo(int32_t low, int32_t high)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_removed)
            return;
        m_record.width = low;
        m_record.height = high;
    }
    // Written at once (see the header); a failed write leaves the new values in memory for the next commit.
    m_store->commitVideoFile(*this);
}

MediaFileRecord LibraryVideoFile::record() const
{
    std::lock_guard lock(m_mutex);
    return m_record;
}

bool LibraryVideoFile::setTitle(const QString &title)
{
    std::lock_guard lock(m_mutex);
    if (m_removed)
        return false;
    m_record.title = title;
    return true;
}

void LibraryVideoFile::replaceRecord(const MediaFileRecord &record)
{
    std::lock_guard lock(m_mutex);
    m_record = record;
}

void LibraryVideoFile::markRemoved()
{
    std::lock_guard lock(m_mutex);
    m_removed = true;
}

bool LibraryVideoFile::isRemoved() const
{
    std::lock_guard lock(m_mutex);
    return m_removed;
}

} // namespace Lumora
