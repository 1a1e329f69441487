#pragma once
// The speed of a running download as a person reads it: bytes per second over the last few seconds,
// and the time left at that speed. Fed with the item's transfer state (plugin/TransferState.h), which
// the worker refreshes every polling period, so a face learns the bytes and the speed from the first
// seconds on without working them out from a whole-number percent.
//
// Not thread-safe: one meter belongs to one face's thread.

#include <chrono>
#include <cstdint>
#include <deque>

namespace Lumora::Host {

class TransferRate {
public:
    static constexpr std::chrono::milliseconds DefaultWindow{5000};

    explicit TransferRate(std::chrono::milliseconds window = DefaultWindow);

    // One reading: received bytes at a moment of a steady clock, in milliseconds. A reading no later
    // than the last one is ignored; fewer bytes than before (the transfer started over) forget the
    // past.
    void add(uint64_t received, int64_t atMs);
    void reset();

    // 0 until two readings lie some time apart.
    double bytesPerSecond() const;
    // Milliseconds until total at the current speed; 0 when it cannot be told (no speed, no total).
    uint64_t remainingMs(uint64_t total) const;
    uint64_t received() const { return m_samples.empty() ? 0 : m_samples.back().received; }

private:
    struct Sample {
        int64_t at;
        uint64_t received;
    };
    std::chrono::milliseconds m_window;
    std::deque<Sample> m_samples;
};

} // namespace Lumora::Host
