#pragma once
// The writes of one transfer, on a thread of their own.
//
// Receiving and writing overlap: while the writer copies one block into the page cache, the next
// is already arriving, so a transfer costs about the longer of the two instead of their sum. A
// transfer that never fills a block (a small file) writes it on the calling thread and never
// starts the writer.
//
// A transfer over several connections writes through several streams, one per connection: each
// appends at increasing offsets of its own part of the file and has a block of its own to fill;
// the blocks of all streams queue for the one writer thread.
//
// Each write() is kWriteSlice bytes. Measured on ext4 here (1 GiB into the page cache): 16 KiB
// writes take 0.5 s, 64 KiB writes 0.25-0.3 s, but 512 KiB writes 1.7 s and 2 MiB writes up to
// 3.8 s. The page cache sizes its folios after the write, and a large folio needs a large free
// block of memory, which is slow to come by once memory has been handed out in small pieces (by
// any other program writing files). 64 KiB buys nearly all of the saving in system calls without
// asking for large blocks.
//
// Memory: one block for each stream that is writing, and kSpareBlocks more. A stream waiting for a
// block then always finds one coming back from the writer (the others hold one block each at most).
//
// Appending, seeking and flushing belong to one thread (the transfer's); the writer thread only
// takes queued blocks.

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
    static constexpr size_t kSpareBlocks = 3;
    static constexpr size_t kWriteSlice = 64 * 1024;

    BlockWriter(int fd, size_t streams);
    ~BlockWriter();
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    // Appends to stream at its position. False once a write has failed (error() says why);
    // nothing more is written then.
    bool append(size_t stream, const char *data, size_t size);
    // Moves stream to offset; what it appended so far goes to the file first.
    void seek(size_t stream, uint64_t offset);
    // Returns when everything appended to every stream is in the file.
    bool flush();
    // Drops everything appended and not written yet, empties the file, and puts every stream at 0.
    bool restartFromZero();
    // Bytes appended that have not reached the file (yet, or after a failed write, ever).
    uint64_t unwritten() const;
    int error() const { return m_error.load(std::memory_order_acquire); }

private:
    struct Block {
        std::unique_ptr<char[]> data;
        size_t used = 0;
        uint64_t offset = 0;
    };
    struct Stream {
        uint64_t position = 0;
        Block current;
    };

    bool takeFreeBlock(Stream &stream);
    void submit(Stream &stream);
    bool writeBlock(const Block &block);
    void writerMain();
    void drain();
    void fail(int error);

    const int m_fd;
    std::vector<Stream> m_streams;  // the transfer thread's
    uint64_t m_appended = 0;        // the transfer thread's

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Block> m_queue;
    std::vector<std::unique_ptr<char[]>> m_free;
    size_t m_allocated = 0;
    bool m_writing = false;
    bool m_stopping = false;
    std::atomic<int> m_error{0};
    std::atomic<uint64_t> m_written{0};
    std::thread m_writer;
};

} // namespace Vdm
