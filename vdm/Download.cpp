#include "vdm/Download.h"

#include "vdm/FailureReason.h"
#include "vdm/HttpFields.h"
#include "vdm/MultiPool.h"

#include <algorithm>
#include <ctime>

namespace Vdm {

namespace {

using namespace std::chrono_literals;

constexpr auto kMapSaveInterval = 1s;
constexpr auto kLongestPoll = 1000ms;

std::chrono::milliseconds millisecondsUntil(Download::Clock::time_point when, Download::Clock::time_point now)
{
    return std::max(0ms, std::chrono::ceil<std::chrono::milliseconds>(when - now));
}

} // namespace

Download::Download(Transfer &transfer, int fd, std::optional<PartialMeta> resume, uint64_t offset)
    : m_transfer(transfer),
      m_settings(EngineSettings::instance().current(true)),
      m_writer(fd, kMaxConnections),
      m_records(transfer.m_setup.names.metaPath)
{
    if (resume) {
        m_segmented = resume->segmented;
        if (m_segmented)
            m_plan.restore(resume->total, resume->missing);
        else
            m_plan.restore(resume->total, {{offset, resume->total}});
        m_identity = std::move(resume);
    } else {
        m_plan.reset(SegmentPlan::kOpenEnd);
    }
    const uint64_t present = m_plan.present();
    m_transfer.m_total.store(m_identity ? m_identity->total : VDM_SIZE_UNKNOWN, std::memory_order_release);
    m_transfer.m_resumedFrom.store(present, std::memory_order_release);
    m_transfer.m_received.store(present, std::memory_order_release);
}

Download::~Download()
{
    m_connections.clear();  // each takes its handle off the multi handle first
    // The multi handle keeps the connections worth keeping, for the next download from the origin.
    MultiPool::instance().give(m_multi, m_origin);
}

Download::Result Download::run()
{
    m_origin = originOf(setup().url);
    m_multi = MultiPool::instance().take(m_origin);
    if (!m_multi)
        return {End::Failed, VDM_E_INTERNAL, 0};
    m_transfer.publishMulti(m_multi);
    schedule(Clock::now());
    while (!m_end) {
        if (m_transfer.stopRequested()) {
            // A stop that comes after the last byte is a completion.
            end(m_plan.complete() ? End::Completed : End::Paused);
            break;
        }
        perform();
        if (m_end)
            break;
        if (m_plan.complete()) {
            end(End::Completed);
            break;
        }
        const auto now = Clock::now();
        checkStalls(now);
        m_settings = EngineSettings::instance().current();
        if (!m_end)
            schedule(now);
        if (m_end)
            break;
        if (connectionsAtWork() == 0) {
            end(End::Failed, m_lastReason, m_lastTransportError);
            break;
        }
        show(now);
        if (m_segmented && now - m_mapSavedAt >= kMapSaveInterval)
            writeRecords(true);
        curl_multi_poll(m_multi, nullptr, 0, int(pollTimeout(now).count()), nullptr);
    }
    return teardown();
}

void Download::perform()
{
    int running = 0;
    if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
        end(End::Failed, VDM_E_INTERNAL);
        return;
    }
    int queued = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi, &queued)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        Connection *done = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &done);
        if (done)
            finished(*done, message->data.result);
    }
    // Taken off only now: libcurl allows no handle to leave its multi handle inside a callback.
    for (auto &each : m_connections) {
        if (each->cut == Connection::Cut::Superseded) {
            each->detach();
            each->cut = Connection::Cut::None;
            each->phase = Connection::Phase::Idle;
        }
    }
}

void Download::end(End how, int32_t reason, int32_t transportError)
{
    if (!m_end)
        m_end = Result {how, how == End::Failed ? reason : VDM_OK, transportError};
}

Download::Result Download::teardown()
{
    for (auto &each : m_connections)
        each->detach();
    Result result = *m_end;
    const bool flushed = m_writer.flush();
    if (!flushed || m_writer.error()) {
        const int error = m_writer.error();
        // Count only what reached the file: bytes that arrived but could not be written must not
        // make a failed transfer look whole.
        const uint64_t present = m_plan.present();
        m_transfer.m_received.store(present - std::min(present, m_writer.unwritten()), std::memory_order_release);
        if (result.end != End::Restart)
            result = {End::Failed, reasonForWriteError(error), error};
    } else {
        publishProgress();
        // The records of a run that stops or fails say where the next one goes on. After a write
        // failure the last records saved stay: they claim only bytes written before it.
        if (m_segmented && m_identity && (result.end == End::Paused || result.end == End::Failed))
            writeRecords(true);
    }
    // Whatever comes next (a rename, a restart, a resume) reads or replaces the records.
    m_records.settle();
    m_transfer.publishMulti(nullptr);
    return result;
}

void Download::publishProgress()
{
    m_transfer.m_received.store(m_plan.present(), std::memory_order_release);
}

size_t Download::connectionsAtWork() const
{
    return size_t(std::count_if(m_connections.begin(), m_connections.end(), [](const auto &each) {
        return each->phase == Connection::Phase::Active || each->phase == Connection::Phase::Waiting;
    }));
}

bool Download::segmentable() const
{
    return m_identity && m_identity->resumable() && m_confirmed && m_rangesServed && m_settings.maxConnections > 1
        && m_plan.total() != SegmentPlan::kOpenEnd && m_plan.total() >= m_settings.segmentMinimumSize;
}

size_t Download::targetConnections() const
{
    if (!segmentable())
        return 1;
    return std::min<size_t>({size_t(m_settings.maxConnections), m_connectionLimit, kMaxConnections});
}

void Download::schedule(Clock::time_point now)
{
    for (auto &each : m_connections)
        if (each->phase == Connection::Phase::Waiting && now >= each->retryAt)
            each->phase = Connection::Phase::Idle;
    const size_t target = targetConnections();
    size_t atWork = connectionsAtWork();
    for (auto &each : m_connections) {
        if (atWork >= target || m_end)
            return;
        if (each->phase == Connection::Phase::Idle && begin(*each))
            ++atWork;
    }
    while (atWork < target && m_connections.size() < kMaxConnections && !m_end) {
        m_connections.push_back(std::make_unique<Connection>(*this, m_connections.size()));
        if (!begin(*m_connections.back()))
            return;  // no work left to hand out; the idle connection waits for some
        ++atWork;
    }
}

void Download::finished(Connection &c, CURLcode code)
{
    c.detach();
    c.phase = Connection::Phase::Idle;
    if (const long status = c.responseStatus(); status != 0)
        m_transfer.m_lastHttpStatus.store(int32_t(status), std::memory_order_release);
    // A response without a body is judged on its headers alone.
    if (c.cut == Connection::Cut::None && code == CURLE_OK && !c.decided)
        c.decided = decide(c);

    switch (c.cut) {
    case Connection::Cut::None:
        break;
    case Connection::Cut::Superseded:
        c.cut = Connection::Cut::None;
        return;
    case Connection::Cut::RangeDone:
        if (c.range)
            m_plan.release(*c.range);
        c.range.reset();
        c.streak = RetryStreak {};
        return;
    case Connection::Cut::Restart:
        end(End::Restart);
        return;
    case Connection::Cut::Disk:
        end(End::Failed, reasonForWriteError(m_writer.error()), m_writer.error());
        return;
    case Connection::Cut::TooLong:
        end(End::Failed, VDM_E_BODY_TOO_LONG);
        return;
    case Connection::Cut::Fallback:
        drop(c);
        return;
    case Connection::Cut::Status:
        fail(c, VDM_E_HTTP_STATUS);
        return;
    case Connection::Cut::Protocol:
        fail(c, VDM_E_PROTOCOL);
        return;
    }

    if (code == CURLE_OK) {
        if (c.range) {
            const SegmentPlan::Range &range = m_plan.range(*c.range);
            if (range.end == SegmentPlan::kOpenEnd) {
                // A body without a length has ended cleanly: it was all of it.
                m_plan.setTotal(range.next);
                m_transfer.m_total.store(range.next, std::memory_order_release);
            }
            // A response that ended short of its range leaves the rest to the next request.
            m_plan.release(*c.range);
        }
        c.range.reset();
        c.streak = RetryStreak {};
        return;
    }
    long osErrno = 0;
    curl_easy_getinfo(c.easy(), CURLINFO_OS_ERRNO, &osErrno);
    long redirects = 0;
    curl_easy_getinfo(c.easy(), CURLINFO_REDIRECT_COUNT, &redirects);
    const long status = c.responseStatus();
    const bool redirecting = redirects > 0 || (status >= 300 && status < 400);
    fail(c, reasonForCurl(code, osErrno, redirecting), int32_t(code));
}

void Download::fail(Connection &c, int32_t reason, int32_t transportError)
{
    const auto now = Clock::now();
    const int status = int(c.responseStatus());
    m_lastReason = reason;
    m_lastTransportError = transportError;
    if (c.range)
        m_plan.release(*c.range);
    c.range.reset();
    const bool others = std::any_of(m_connections.begin(), m_connections.end(), [&](const auto &each) {
        return each.get() != &c
            && (each->phase == Connection::Phase::Active || each->phase == Connection::Phase::Waiting);
    });
    // A server that refuses an extra connection is telling us how many it serves.
    if (others && reason == VDM_E_HTTP_STATUS && (status == 429 || status == 503)) {
        drop(c);
        return;
    }
    std::optional<std::chrono::milliseconds> wait;
    if (isTransient(reason, status)) {
        std::optional<std::chrono::milliseconds> retryAfter;
        if (auto seconds = HttpFields::parseRetryAfter(c.retryAfter, int64_t(std::time(nullptr))))
            retryAfter = *seconds;
        const RetryBounds bounds {m_settings.retryLimit, m_settings.retryTimeLimit};
        wait = c.streak.failed(c.progressed, retryAfter, bounds, now);
    }
    if (!wait) {
        if (others)
            drop(c);
        else
            end(End::Failed, reason, transportError);
        return;
    }
    c.phase = Connection::Phase::Waiting;
    c.retryAt = now + *wait;
    c.retryReason = reason;
}

void Download::drop(Connection &c)
{
    c.detach();
    if (c.range)
        m_plan.release(*c.range);
    c.range.reset();
    c.phase = Connection::Phase::Gone;
    m_connectionLimit = std::min(m_connectionLimit, std::max<size_t>(1, connectionsAtWork()));
}

void Download::abandon(Connection &c)
{
    c.detach();
    c.phase = Connection::Phase::Idle;
    fail(c, c.connected ? VDM_E_STALLED : VDM_E_TIMED_OUT);
}

void Download::checkStalls(Clock::time_point now)
{
    const auto timeout = setup().stallTimeout;
    for (auto &each : m_connections)
        if (each->phase == Connection::Phase::Active && now - each->lastActivity >= timeout)
            abandon(*each);
}

std::chrono::milliseconds Download::pollTimeout(Clock::time_point now) const
{
    auto timeout = std::chrono::duration_cast<std::chrono::milliseconds>(kLongestPoll);
    for (const auto &each : m_connections) {
        if (each->phase == Connection::Phase::Active)
            timeout = std::min(timeout, millisecondsUntil(each->lastActivity + setup().stallTimeout, now) + 1ms);
        else if (each->phase == Connection::Phase::Waiting)
            timeout = std::min(timeout, millisecondsUntil(each->retryAt, now));
    }
    return timeout;
}

void Download::show(Clock::time_point now)
{
    const Connection *shown = nullptr;
    bool receiving = false;
    for (const auto &each : m_connections) {
        if (each->phase == Connection::Phase::Active) {
            receiving = true;
            if (!shown || shown->phase != Connection::Phase::Active
                || each->streak.tryNumber() > shown->streak.tryNumber())
                shown = each.get();
        } else if (each->phase == Connection::Phase::Waiting && !receiving
                   && (!shown || each->retryAt < shown->retryAt)) {
            shown = each.get();
        }
    }
    if (!shown)
        return;
    const uint32_t attempt = shown->streak.tryNumber();
    m_transfer.showActivity(receiving ? VDM_STATE_RUNNING : VDM_STATE_RETRYING, attempt, m_settings.retryLimit,
                            receiving ? now : shown->retryAt, attempt > 1 || !receiving ? shown->retryReason : 0);
}

} // namespace Vdm
