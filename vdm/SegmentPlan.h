#pragma once
// The bytes of one file still to fetch, as ranges, and which connection fetches each.
//
// A download starts as one range, the whole file, fetched by one connection. More connections take
// work from the plan: a range that nobody fetches (the lowest first), else the second half of the
// largest range still being fetched. Its owner then stops where the taken half begins. So a
// connection that finishes early takes over half of what the slowest has left ("work stealing"),
// and no connection holds up the end.
//
// Ids of ranges stay valid for as long as the plan lives; a range fetched to its end stays as an
// empty entry. Used by one thread, the download's.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace Vdm {

class SegmentPlan {
public:
    static constexpr uint64_t kOpenEnd = UINT64_MAX;  // the end of a file of unknown size
    static constexpr int kNobody = -1;

    struct Range {
        uint64_t next = 0;  // the first byte still missing
        uint64_t end = 0;   // one past the last byte of the range
        int owner = kNobody;
        uint64_t remaining() const { return end - next; }
    };
    using Extents = std::vector<std::pair<uint64_t, uint64_t>>;  // [first, end) pairs

    // The whole file as one range: [0, total), total kOpenEnd while unknown.
    void reset(uint64_t total);
    // What a saved map says is still missing of a file of total bytes.
    void restore(uint64_t total, const Extents &missing);
    // The size, once a response announces it: the range that was open now ends there.
    void setTotal(uint64_t total);

    uint64_t total() const { return m_total; }
    bool complete() const;
    // Bytes of the file in place: everything but what is missing (from byte 0 while the size is
    // unknown). Never decreases while ranges change hands.
    uint64_t present() const;
    Extents missing() const;
    const Range &range(size_t id) const { return m_ranges[id]; }
    size_t rangeCount() const { return m_ranges.size(); }

    // Work for connection: the lowest range nobody fetches, else the second half of the largest
    // range being fetched when that half holds at least minimumSteal bytes. The range's id.
    std::optional<size_t> assign(int connection, uint64_t minimumSteal);
    // bytes arrived at the range's next byte.
    void advance(size_t id, uint64_t bytes);
    // Lets the range grow over the one nobody fetches that starts where it ends, when that one ends
    // at or before limit (how far the owner's request reaches). True when it grew.
    bool extend(size_t id, uint64_t limit);
    // The owner lets go of the range; what it fetched stays.
    void release(size_t id);

private:
    void countMissing();

    uint64_t m_total = kOpenEnd;
    std::vector<Range> m_ranges;
    uint64_t m_missing = 0;  // the sum of the ranges' remaining bytes (modulo 2^64 while the size is unknown)
};

} // namespace Vdm
