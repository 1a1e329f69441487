#include "vdm/SegmentPlan.h"

#include <algorithm>

namespace Vdm {

void SegmentPlan::reset(uint64_t total)
{
    m_total = total;
    m_ranges.assign(1, Range {0, total, kNobody});
    countMissing();
}

void SegmentPlan::restore(uint64_t total, const Extents &missing)
{
    m_total = total;
    m_ranges.clear();
    for (const auto &[first, end] : missing)
        if (first < end && end <= total)
            m_ranges.push_back(Range {first, end, kNobody});
    std::sort(m_ranges.begin(), m_ranges.end(), [](const Range &a, const Range &b) { return a.next < b.next; });
    countMissing();
}

void SegmentPlan::setTotal(uint64_t total)
{
    m_total = total;
    for (Range &range : m_ranges)
        if (range.end == kOpenEnd)
            range.end = std::max(range.next, total);
    countMissing();
}

// The sum of what the ranges miss, kept up to date by advance() (stealing and extending only move
// bytes between ranges). While the size is unknown it means nothing; setTotal() counts it again.
void SegmentPlan::countMissing()
{
    m_missing = 0;
    for (const Range &range : m_ranges)
        m_missing += range.remaining();
}

bool SegmentPlan::complete() const
{
    return m_total != kOpenEnd
        && std::all_of(m_ranges.begin(), m_ranges.end(), [](const Range &r) { return r.remaining() == 0; });
}

uint64_t SegmentPlan::present() const
{
    if (m_total == kOpenEnd)
        return m_ranges.empty() ? 0 : m_ranges.front().next;
    return m_total - std::min(m_total, m_missing);
}

SegmentPlan::Extents SegmentPlan::missing() const
{
    Extents out;
    for (const Range &range : m_ranges)
        if (range.remaining() > 0)
            out.emplace_back(range.next, range.end);
    std::sort(out.begin(), out.end());
    return out;
}

std::optional<size_t> SegmentPlan::assign(int connection, uint64_t minimumSteal)
{
    std::optional<size_t> best;
    for (size_t id = 0; id < m_ranges.size(); ++id) {
        const Range &range = m_ranges[id];
        if (range.owner == kNobody && range.remaining() > 0 && (!best || range.next < m_ranges[*best].next))
            best = id;
    }
    if (best) {
        m_ranges[*best].owner = connection;
        return best;
    }
    // Nothing free: halve the largest range still being fetched. A range of unknown end has no
    // second half to speak of.
    for (size_t id = 0; id < m_ranges.size(); ++id) {
        const Range &range = m_ranges[id];
        if (range.end != kOpenEnd && range.remaining() / 2 >= std::max<uint64_t>(minimumSteal, 1)
            && (!best || range.remaining() > m_ranges[*best].remaining()))
            best = id;
    }
    if (!best)
        return std::nullopt;
    Range &victim = m_ranges[*best];
    const uint64_t middle = victim.next + victim.remaining() / 2;
    m_ranges.push_back(Range {middle, victim.end, connection});
    m_ranges[*best].end = middle;  // victim may dangle after push_back
    return m_ranges.size() - 1;
}

void SegmentPlan::advance(size_t id, uint64_t bytes)
{
    Range &range = m_ranges[id];
    const uint64_t taken = std::min(bytes, range.remaining());
    range.next += taken;
    m_missing -= taken;
}

bool SegmentPlan::extend(size_t id, uint64_t limit)
{
    const uint64_t end = m_ranges[id].end;
    for (Range &other : m_ranges) {
        if (other.owner == kNobody && other.remaining() > 0 && other.next == end && other.end <= limit) {
            m_ranges[id].end = other.end;
            other.next = other.end;
            return true;
        }
    }
    return false;
}

void SegmentPlan::release(size_t id)
{
    m_ranges[id].owner = kNobody;
}

} // namespace Vdm
