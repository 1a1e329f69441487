#pragma once
// Sequential writes of one transfer, on a thread of their own.
//
// Receiving and writing overlap: while the writer copies one block into the page cache, the next
// is already arriving, so a transfer costs about the longer of the two instead of their sum. A
// transfer that never fills a block (a small file) writes it on the calling thread and never
// starts the writer.
//
// Each write() is kWriteSlice bytes. Measured on ext4 here (1 GiB into the page cache): 16 KiB
// writes take 0.5 s, 64 KiB writes 0.25-0.3 s, but 512 KiB writes 1.7 s and 2 MiB writes up to
// 3.8 s. The page cache sizes its folios after the write, and a large folio needs a large free
// block of memory, which is slow to come by once memory has been handed out in small pieces (by
// any other program writing files). 64 KiB buys nearly all of the saving in system calls without
// asking for large blocks.
//
// Memory: at most kBlocks blocks per transfer.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace Vdm {

class BlockWriter {
public:
    static constexpr size_t kBlockSize = 1024 * 1024;
    static constexpr size_t kBlocks = 4;
    static constexpr size_t kWriteSlice = 64 * 1024;

    BlockWriter(int fd, uint64_t offset);
    ~BlockWriter();
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    // False once a write has failed (error() says why); nothing more is written then.
    bool append(const char *data, size_t size);
    // Returns when everything appended is in the file.
    bool flush();
    // Drops everything appended, empties the file and goes on from byte 0.
    bool restartFromZero();
    // Bytes of the file appended so far, on disk or on their way.
    uint64_t position() const { return m_position; }
    // Bytes of the file known to be written: after a failed write, where the good part ends.
    uint64_t written() const { return m_written.load(std::memory_order_acquire); }
    int error() const { return m_error.load(std::memory_order_acquire); }

private:
    struct Block {
        std::unique_ptr<char[]> data;
        size_t used = 0;
        uint64_t offset = 0;
    };

    bool takeFreeBlock();
    void submit();
    bool writeBlock(const Block &block);
    void writerMain();
    void drain();

    const int m_fd;
    uint64_t m_position;  // caller thread only
    Block m_current;      // caller thread only

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Block> m_queue;
    std::vector<std::unique_ptr<char[]>> m_free;
    size_t m_allocated = 0;
    bool m_writing = false;
    bool m_stopping = false;
    std::atomic<int> m_error{0};
    std::atomic<uint64_t> m_written;
    std::thread m_writer;
};

} // namespace Vdm
