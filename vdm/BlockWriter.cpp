#include "vdm/BlockWriter.h"

#include "vdm/PartialFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>
#include <unistd.h>

namespace Vdm {

BlockWriter::BlockWriter(int fd, size_t streams) : m_fd(fd), m_streams(std::max<size_t>(streams, 1)) {}

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

void BlockWriter::fail(int error)
{
    int expected = 0;
    m_error.compare_exchange_strong(expected, error);
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
            fail(errno);
            return false;
        }
        data += n;
        size -= size_t(n);
        offset += uint64_t(n);
        m_written.fetch_add(uint64_t(n), std::memory_order_acq_rel);
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

bool BlockWriter::takeFreeBlock(Stream &stream)
{
    // Streams that are not writing hold no block and count for nothing.
    const size_t holders = 1 + size_t(std::count_if(m_streams.begin(), m_streams.end(),
                                                     [](const Stream &each) { return bool(each.current.data); }));
    std::unique_lock lock(m_mutex);
    if (m_free.empty() && m_allocated < holders + kSpareBlocks) {
        std::unique_ptr<char[]> data(new (std::nothrow) char[kBlockSize]);
        if (!data) {
            fail(ENOMEM);
            return false;
        }
        ++m_allocated;
        m_free.push_back(std::move(data));
    }
    m_changed.wait(lock, [this] { return !m_free.empty() || error(); });
    if (error())
        return false;
    stream.current.data = std::move(m_free.back());
    m_free.pop_back();
    stream.current.used = 0;
    stream.current.offset = stream.position;
    return true;
}

void BlockWriter::submit(Stream &stream)
{
    if (!stream.current.data)
        return;
    if (stream.current.used == 0) {
        std::lock_guard lock(m_mutex);
        m_free.push_back(std::move(stream.current.data));
        stream.current = Block {};
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(stream.current));
    }
    stream.current = Block {};
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

bool BlockWriter::append(size_t index, const char *data, size_t size)
{
    Stream &stream = m_streams[index];
    while (size > 0) {
        if (error())
            return false;
        if (!stream.current.data && !takeFreeBlock(stream))
            return false;
        const size_t take = std::min(size, kBlockSize - stream.current.used);
        std::memcpy(stream.current.data.get() + stream.current.used, data, take);
        stream.current.used += take;
        stream.position += take;
        m_appended += take;
        data += take;
        size -= take;
        if (stream.current.used == kBlockSize)
            submit(stream);
    }
    return !error();
}

void BlockWriter::seek(size_t index, uint64_t offset)
{
    Stream &stream = m_streams[index];
    if (stream.position == offset)
        return;
    submit(stream);
    stream.position = offset;
}

bool BlockWriter::flush()
{
    for (Stream &stream : m_streams) {
        if (!stream.current.data)
            continue;
        if (m_writer.joinable()) {
            submit(stream);
            continue;
        }
        // A small file: no thread for one write.
        if (!error() && stream.current.used > 0)
            writeBlock(stream.current);
        std::lock_guard lock(m_mutex);
        m_free.push_back(std::move(stream.current.data));
        stream.current = Block {};
    }
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.empty() && !m_writing; });
    return !error();
}

bool BlockWriter::restartFromZero()
{
    {
        std::unique_lock lock(m_mutex);
        for (Stream &stream : m_streams) {
            if (stream.current.data)
                m_free.push_back(std::move(stream.current.data));
            stream.current = Block {};
            stream.position = 0;
        }
        for (auto &block : m_queue)
            m_free.push_back(std::move(block.data));
        m_queue.clear();
        m_changed.wait(lock, [this] { return !m_writing; });
    }
    m_appended = 0;
    m_written.store(0, std::memory_order_release);
    if (const int error = emptyFile(m_fd); error != 0) {
        fail(error);
        return false;
    }
    return true;
}

uint64_t BlockWriter::unwritten() const
{
    return m_appended - std::min(m_appended, m_written.load(std::memory_order_acquire));
}

} // namespace Vdm
