#include "vdm/BlockWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>
#include <unistd.h>

namespace Vdm {

BlockWriter::BlockWriter(int fd, uint64_t offset) : m_fd(fd), m_position(offset), m_written(offset) {}

BlockWriter::~BlockWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_writer.joinable())
        m_writer.join();
}

bool BlockWriter::writeBlock(const Block &block)
{
    const char *data = block.data.get();
    size_t size = block.used;
    uint64_t offset = block.offset;
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, data, std::min(size, kWriteSlice), off_t(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int expected = 0;
            m_error.compare_exchange_strong(expected, errno);
            return false;
        }
        data += n;
        size -= size_t(n);
        offset += uint64_t(n);
        m_written.store(offset, std::memory_order_release);
    }
    return true;
}

void BlockWriter::writerMain()
{
    std::unique_lock lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        Block block = std::move(m_queue.front());
        m_queue.pop_front();
        m_writing = true;
        lock.unlock();
        if (!error())
            writeBlock(block);
        lock.lock();
        m_writing = false;
        m_free.push_back(std::move(block.data));
        m_changed.notify_all();
    }
}

bool BlockWriter::takeFreeBlock()
{
    std::unique_lock lock(m_mutex);
    if (m_free.empty() && m_allocated < kBlocks) {
        std::unique_ptr<char[]> data(new (std::nothrow) char[kBlockSize]);
        if (!data) {
            int expected = 0;
            m_error.compare_exchange_strong(expected, ENOMEM);
            return false;
        }
        ++m_allocated;
        m_free.push_back(std::move(data));
    }
    m_changed.wait(lock, [this] { return !m_free.empty() || error(); });
    if (error())
        return false;
    m_current.data = std::move(m_free.back());
    m_free.pop_back();
    m_current.used = 0;
    m_current.offset = m_position;
    return true;
}

void BlockWriter::submit()
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(m_current));
    }
    m_current = Block {};
    if (!m_writer.joinable()) {
        try {
            m_writer = std::thread(&BlockWriter::writerMain, this);
        } catch (const std::system_error &) {
            // No thread to be had: write here instead.
            drain();
            return;
        }
    }
    m_changed.notify_all();
}

// Writes what is queued on this thread (only when there is no writer thread).
void BlockWriter::drain()
{
    std::unique_lock lock(m_mutex);
    while (!m_queue.empty()) {
        Block block = std::move(m_queue.front());
        m_queue.pop_front();
        if (!error())
            writeBlock(block);
        m_free.push_back(std::move(block.data));
    }
}

bool BlockWriter::append(const char *data, size_t size)
{
    while (size > 0) {
        if (error())
            return false;
        if (!m_current.data && !takeFreeBlock())
            return false;
        const size_t take = std::min(size, kBlockSize - m_current.used);
        std::memcpy(m_current.data.get() + m_current.used, data, take);
        m_current.used += take;
        m_position += take;
        data += take;
        size -= take;
        if (m_current.used == kBlockSize)
            submit();
    }
    return !error();
}

bool BlockWriter::flush()
{
    if (m_current.data && m_current.used > 0) {
        if (m_writer.joinable()) {
            submit();
        } else {
            if (!error())
                writeBlock(m_current);
            std::lock_guard lock(m_mutex);
            m_free.push_back(std::move(m_current.data));
            m_current = Block {};
        }
    }
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.empty() && !m_writing; });
    return !error();
}

bool BlockWriter::restartFromZero()
{
    if (m_current.data) {
        std::lock_guard lock(m_mutex);
        m_free.push_back(std::move(m_current.data));
        m_current = Block {};
    }
    {
        std::unique_lock lock(m_mutex);
        for (auto &block : m_queue)
            m_free.push_back(std::move(block.data));
        m_queue.clear();
        m_changed.wait(lock, [this] { return !m_writing; });
    }
    m_position = 0;
    m_written.store(0, std::memory_order_release);
    if (::ftruncate(m_fd, 0) != 0) {
        int expected = 0;
        m_error.compare_exchange_strong(expected, errno);
        return false;
    }
    return true;
}

} // namespace Vdm
