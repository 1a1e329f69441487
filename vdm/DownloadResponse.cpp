// The download's side of each request: what to ask for, what a response means, and where its
// bytes go.

#include "vdm/Download.h"

#include "vdm/HttpFields.h"
#include "vdm/MultiPool.h"
#include "vdm/RateLimiter.h"

#include <algorithm>
#include <unistd.h>

namespace Vdm {

namespace {

// libcurl's largest receive buffer: fewer, larger hand-overs to the block writer. Under a rate
// limit, hand-overs of an eighth of a second at most, so that the limiter's waits stay short.
constexpr long kLargestReceiveBuffer = 512 * 1024;
constexpr long kSmallestReceiveBuffer = 16 * 1024;
constexpr uint64_t kHandOversPerSecond = 8;

long receiveBufferFor(uint64_t rate)
{
    if (rate == 0)
        return kLargestReceiveBuffer;
    return long(std::clamp<uint64_t>(rate / kHandOversPerSecond, kSmallestReceiveBuffer, kLargestReceiveBuffer));
}

} // namespace

bool Download::begin(Connection &c)
{
    if (!c.range) {
        const auto id = m_plan.assign(int(c.index), kMinimumSteal);
        if (!id)
            return false;
        c.range = id;
    }
    const bool resumable = m_identity && m_identity->resumable();
    if (!resumable && (m_plan.present() > 0 || m_plan.range(*c.range).next > 0)) {
        // Bytes of a resource that cannot be named again are worth nothing to a new request.
        m_records.discard();
        if (!m_writer.restartFromZero()) {
            end(End::Failed, VDM_E_DISK, m_writer.error());
            return false;
        }
        m_identity.reset();
        m_plan.reset(SegmentPlan::kOpenEnd);
        c.range = m_plan.assign(int(c.index), kMinimumSteal);
        m_transfer.m_total.store(VDM_SIZE_UNKNOWN, std::memory_order_release);
        m_transfer.m_resumedFrom.store(0, std::memory_order_release);
        publishProgress();
    }
    // Once two connections write into the file, its size no longer says what is in it: the
    // segment map has to be in the records before the second one writes anything.
    if (resumable && !m_segmented && m_plan.rangeCount() > 1) {
        m_segmented = true;
        writeRecords(true);
        m_records.settle();
    }

    const SegmentPlan::Range &range = m_plan.range(*c.range);
    Connection::Request request;
    request.url = m_finalUrl.empty() ? setup().url : m_finalUrl;
    request.credentials = m_finalUrl.empty() || originOf(m_finalUrl) == originOf(setup().url);
    const bool whole = range.next == 0 && range.end == m_plan.total();
    if (resumable && !whole) {
        request.ranged = true;
        request.first = range.next;
        request.end = range.end;
        request.openEnded = range.end == m_plan.total();
        request.ifRange = !m_identity->etag.empty() ? m_identity->etag : m_identity->lastModified;
    }
    request.receiveBuffer = receiveBufferFor(m_settings.maxDownloadRate);
    m_writer.seek(c.index, range.next);
    if (!c.start(m_multi, request)) {
        end(End::Failed, VDM_E_INTERNAL);
        return false;
    }
    return true;
}

bool Download::decide(Connection &c)
{
    const long status = c.responseStatus();
    m_transfer.m_lastHttpStatus.store(int32_t(status), std::memory_order_release);
    curl_off_t length = -1;
    curl_easy_getinfo(c.easy(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (status == 206)
        return decidePart(c);
    if (status == 200)
        return decideWhole(c, int64_t(length));
    if (status == 416 && c.request.ranged)
        c.cut = Connection::Cut::Restart;  // the resource is shorter than the file we hold
    else
        c.cut = status >= 400 ? Connection::Cut::Status : Connection::Cut::Protocol;
    return false;
}

bool Download::sameResource(const Connection &c) const
{
    if (!m_identity)
        return false;
    const PartialMeta &known = *m_identity;
    const bool etagAgrees = known.etag.empty() || c.etag.empty() || c.etag == known.etag;
    const bool dateAgrees = known.lastModified.empty() || c.lastModified.empty() || c.lastModified == known.lastModified;
    const bool confirmed = (!known.etag.empty() && c.etag == known.etag)
        || (!known.lastModified.empty() && c.lastModified == known.lastModified);
    return etagAgrees && dateAgrees && confirmed;
}

bool Download::decidePart(Connection &c)
{
    const auto range = HttpFields::parseContentRange(c.contentRange);
    if (!c.request.ranged || !m_identity || !range) {
        c.cut = Connection::Cut::Protocol;
        return false;
    }
    // The part we asked for of the resource we hold, or the file starts again.
    if (range->first != c.request.first || range->complete != m_identity->total || range->last >= c.request.end
        || !sameResource(c)) {
        c.cut = Connection::Cut::Restart;
        return false;
    }
    c.requestEnd = range->last + 1;
    m_confirmed = true;
    m_rangesServed = true;
    if (m_finalUrl.empty()) {
        const char *effective = nullptr;
        if (curl_easy_getinfo(c.easy(), CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
            m_finalUrl = effective;
    }
    return true;
}

bool Download::decideWhole(Connection &c, int64_t length)
{
    if (c.request.ranged) {
        // All of the resource instead of the part asked for. When it is still the same resource
        // and other connections serve ranges, this one is only refused: do without it.
        const bool same = sameResource(c) && length >= 0 && uint64_t(length) == m_identity->total;
        const bool others = std::any_of(m_connections.begin(), m_connections.end(), [&](const auto &each) {
            return each.get() != &c && each->phase == Connection::Phase::Active;
        });
        if (same && others) {
            m_connectionLimit = 1;
            c.cut = Connection::Cut::Fallback;
            return false;
        }
        if (same && m_segmented) {
            // The other connections have ended: read the whole answer through to this connection's
            // range rather than throw away what they brought.
            m_connectionLimit = 1;
            c.skip = c.request.first;
            c.requestEnd = c.request.openEnded ? SegmentPlan::kOpenEnd : c.request.end;
            c.limit = m_identity->total;
            return true;
        }
    }
    restartWith(c, length);
    return !m_end;
}

// Takes the response on c as the whole file from byte 0: a fresh start, or a resource that is not
// the one the part file holds any more.
void Download::restartWith(Connection &c, int64_t length)
{
    // Called from a callback, where libcurl takes no handle off the multi handle: the others are
    // marked, refuse whatever else arrives, and are taken off after the turn.
    for (auto &each : m_connections) {
        if (each.get() == &c || each->phase == Connection::Phase::Gone)
            continue;
        each->range.reset();
        if (each->phase == Connection::Phase::Active)
            each->cut = Connection::Cut::Superseded;
        else
            each->phase = Connection::Phase::Idle;
    }
    const uint64_t total = length >= 0 ? uint64_t(length) : SegmentPlan::kOpenEnd;
    if (m_plan.present() > 0 || m_segmented) {
        // The records go first: they describe bytes that are about to go.
        m_records.discard();
        if (!m_writer.restartFromZero()) {
            c.cut = Connection::Cut::Disk;
            end(End::Failed, VDM_E_DISK, m_writer.error());
            return;
        }
    }
    m_plan.reset(total);
    c.range = m_plan.assign(int(c.index), kMinimumSteal);
    m_writer.seek(c.index, 0);
    c.requestEnd = SegmentPlan::kOpenEnd;
    c.limit = length >= 0 ? std::optional<uint64_t>(uint64_t(length)) : setup().expectedSize;

    PartialMeta meta;
    meta.uri = setup().identityUrl;
    meta.total = length >= 0 ? uint64_t(length) : 0;
    meta.etag = HttpFields::isStrongEtag(c.etag) ? c.etag : std::string();
    meta.lastModified = c.lastModified;
    m_identity = meta;
    m_confirmed = true;
    m_segmented = false;
    m_rangesServed = HttpFields::equalsNoCase(c.acceptRanges, "bytes");
    const char *effective = nullptr;
    if (curl_easy_getinfo(c.easy(), CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        m_finalUrl = effective;
    writeRecords(false);

    m_transfer.m_total.store(length >= 0 ? uint64_t(length) : VDM_SIZE_UNKNOWN, std::memory_order_release);
    m_transfer.m_resumedFrom.store(0, std::memory_order_release);
    m_transfer.m_received.store(0, std::memory_order_release);
}

void Download::writeRecords(bool durable)
{
    if (!m_identity || !m_identity->resumable()) {
        m_records.discard();
        return;
    }
    // A map may only claim bytes that are in the file.
    if (durable && !m_writer.flush())
        return;
    PartialMeta meta = *m_identity;
    meta.segmented = m_segmented;
    if (m_segmented)
        meta.missing = m_plan.missing();
    m_records.save(std::move(meta), durable);
    m_mapSavedAt = Clock::now();
}

void Download::keepToTheRate(size_t bytes)
{
    const auto waited = ProcessRateLimit::instance().acquire(
        bytes,
        [this] {
            m_settings = EngineSettings::instance().current();
            return m_settings.maxDownloadRate;
        },
        [this] { return m_transfer.stopRequested(); });
    // Time spent waiting for the limit is time nobody listened: it is no connection's stall.
    for (auto &each : m_connections)
        if (each->phase == Connection::Phase::Active)
            each->lastActivity += waited;
}

size_t Download::onBody(Connection &c, const char *data, size_t size)
{
    if (c.cut == Connection::Cut::Superseded)
        return 0;
    c.lastActivity = Clock::now();
    if (!c.decided) {
        if (!decide(c))
            return 0;  // libcurl ends the request with CURLE_WRITE_ERROR; c.cut says why
        c.decided = true;
    }
    if (c.limit && size > *c.limit - std::min(*c.limit, c.bodyBytes)) {
        c.cut = Connection::Cut::TooLong;
        return 0;
    }
    c.bodyBytes += size;
    if (m_settings.maxDownloadRate != 0)
        keepToTheRate(size);
    size_t taken = size_t(std::min<uint64_t>(c.skip, size));
    c.skip -= taken;
    while (taken < size) {
        const size_t id = *c.range;
        if (m_plan.range(id).remaining() == 0 && !m_plan.extend(id, c.requestEnd)) {
            // The range ends here (another connection took the rest): so does this response.
            publishProgress();
            c.cut = Connection::Cut::RangeDone;
            return 0;
        }
        const size_t take = size_t(std::min<uint64_t>(size - taken, m_plan.range(id).remaining()));
        if (!m_writer.append(c.index, data + taken, take)) {
            c.cut = Connection::Cut::Disk;
            return 0;
        }
        m_plan.advance(id, take);
        taken += take;
        c.progressed = true;
    }
    publishProgress();
    return size;
}

} // namespace Vdm
