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
        m_pending = Pending {std::move(meta), durable};
        if (!m_saver.joinable()) {
            try {
                m_saver = std::thread(&RecordWriter::saverMain, this);
            } catch (const std::system_error &) {
                // No thread to be had: save here instead.
                Pending now = std::move(*m_pending);
                m_pending.reset();
                if (!writePartialMeta(m_path, now.meta, now.durable))
                    ::unlink(m_path.c_str());
                return;
            }
        }
    }
    m_changed.notify_all();
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
        if (!writePartialMeta(m_path, now.meta, now.durable))
            ::unlink(m_path.c_str());
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
