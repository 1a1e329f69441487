#include "vdm/RecordWriter.h"

#include <system_error>
#include <unistd.h>

namespace Vdm {

RecordWriter::RecordWriter(std::string path) : m_path(std::move(path)) {}

RecordWriter::~RecordWriter()
{
    settle();
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_saver.joinable())
        m_saver.join();
}

void RecordWriter::save(PartialMeta meta, bool durable)
{
    {
        std::lock_guard lock(m_mutex);
        // Until a durable save starts the thread, nothing can be pending: a save that needs no sync
        // (all a download on one connection ever makes) costs no more here than handing it over.
        if (!durable && !m_saver.joinable()) {
            writeNow(meta, durable);
            return;
        }
        m_pending = Pending {std::move(meta), durable};
        if (!m_saver.joinable()) {
            try {
                m_saver = std::thread(&RecordWriter::saverMain, this);
            } catch (const std::system_error &) {
                // No thread to be had: save here instead.
                Pending now = std::move(*m_pending);
                m_pending.reset();
                writeNow(now.meta, now.durable);
                return;
            }
        }
    }
    m_changed.notify_all();
}

void RecordWriter::writeNow(const PartialMeta &meta, bool durable)
{
    if (!writePartialMeta(m_path, meta, durable))
        ::unlink(m_path.c_str());
}

void RecordWriter::saverMain()
{
    std::unique_lock lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [this] { return m_stopping || m_pending; });
        if (!m_pending)
            return;
        Pending now = std::move(*m_pending);
        m_pending.reset();
        m_saving = true;
        lock.unlock();
        writeNow(now.meta, now.durable);
        lock.lock();
        m_saving = false;
        m_changed.notify_all();
    }
}

void RecordWriter::settle()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_pending && !m_saving; });
}

void RecordWriter::discard()
{
    settle();
    ::unlink(m_path.c_str());
}

} // namespace Vdm
