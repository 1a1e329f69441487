#include "host/window/QueueReader.h"

#include "plugin/QueueRules.h"

namespace Lumora::Window {

QueueReader::QueueReader(MediaManagerInterface::MediaManager *library, Deliver deliver)
    : m_library(library), m_deliver(std::move(deliver)), m_thread(std::make_unique<Host::OperationQueue>())
{
}

QueueReader::~QueueReader()
{
    finish();
}

std::vector<ItemPtr> QueueReader::readQueue(MediaManagerInterface::MediaManager *library)
{
    std::vector<ItemPtr> queue;
    lmtl::RefCountedPtr<MediaManagerInterface::PlaylistInterface> playlist;
    if (!library || !library->getPlaylist(MediaManagerInterface::DownloadPlaylistKind, 0, 0, playlist.receive()) || !playlist)
        return queue;
    queue.reserve(static_cast<size_t>(std::max<int64_t>(playlist->count(), 0)));
    QueueRules::walk(playlist.get(), [&queue](int64_t, MediaManagerInterface::QueuedFileInterface *item) {
        queue.emplace_back(item);
        return true;
    });
    return queue;
}

void QueueReader::request()
{
    if (!m_thread)
        return;
    if (m_reading) {
        m_again = true;
        return;
    }
    readNow();
}

void QueueReader::readNow()
{
    m_reading = true;
    m_again = false;
    m_thread->post([this, alive = m_alive, library = m_library] {
        std::vector<ItemPtr> queue = readQueue(library);
        // The items go back to the main thread with their references; the lambda that carries them
        // is destroyed there too, or dropped unrun when the reader has gone.
        Host::MainThread::postIfAlive(alive, [this, queue = std::move(queue)]() mutable { delivered(std::move(queue)); });
    });
}

void QueueReader::delivered(std::vector<ItemPtr> queue)
{
    m_reading = false;
    if (m_again) {
        // The list changed again while it was read: this answer is already old.
        readNow();
        return;
    }
    m_deliver(std::move(queue));
}

void QueueReader::finish()
{
    *m_alive = false;
    if (m_thread) {
        m_thread->finish();
        m_thread.reset();
    }
}

} // namespace Lumora::Window
