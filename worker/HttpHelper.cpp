#include "worker/HttpHelper.h"

#include <QAbstractEventDispatcher>
#include <QDateTime>
#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>

#include <algorithm>
#include <charconv>
#include <utility>

namespace Lumora {

namespace {

// While a probe waits on the application's main thread it keeps that thread's events moving, so a
// host that probes from its user interface stays responsive.
constexpr auto kMainThreadSlice = std::chrono::milliseconds(10);
constexpr auto kWaitSlice = std::chrono::milliseconds(50);

bool onMainThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool isHttpScheme(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// A failed round is asked again after this pause, doubled each time up to the last.
constexpr auto kFirstRetryPause = std::chrono::milliseconds(1000);
constexpr auto kLastRetryPause = std::chrono::milliseconds(8000);
// A Retry-After longer than this is not waited for: the probe's own time is shorter anyway.
constexpr int kLongestRetryAfterSeconds = 3600;
// A server that refuses HEAD answers one of these.
constexpr int kHeadNotAllowed = 405;
constexpr int kNotImplemented = 501;

// Scheme, host and port, with the scheme's own port filled in: what "the same origin" compares.
QString originOf(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    const int port = url.port(scheme == QLatin1String("https") ? 443 : 80);
    return QStringLiteral("%1://%2:%3").arg(scheme, url.host().toLower()).arg(port);
}

// The host as a reason names it: with its port when the address gives one.
QString hostText(const QUrl &url)
{
    return url.port() > 0 ? QStringLiteral("%1:%2").arg(url.host()).arg(url.port()) : url.host();
}

bool isPassingFault(const FailureReason &reason)
{
    switch (reason.kind) {
    case FailureKind::TimedOut:
    case FailureKind::ConnectionLost:
        return true;
    case FailureKind::HttpStatus:
        return reason.httpStatus == 408 || reason.httpStatus == 429 || reason.httpStatus == 500
               || reason.httpStatus == 502 || reason.httpStatus == 503 || reason.httpStatus == 504;
    default:
        return false;
    }
}

FailureKind kindOfNetworkError(int error)
{
    switch (error) {
    case QNetworkReply::HostNotFoundError:
        return FailureKind::HostNotFound;
    case QNetworkReply::ConnectionRefusedError:
        return FailureKind::ConnectionRefused;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:  // what a request's transfer time-out ends with
        return FailureKind::TimedOut;
    case QNetworkReply::SslHandshakeFailedError:
        return FailureKind::Tls;
    case QNetworkReply::TooManyRedirectsError:
        return FailureKind::TooManyRedirects;
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return FailureKind::ConnectionLost;
    default:
        return FailureKind::UnusableAnswer;
    }
}

// Retry-After as seconds from now: a number of seconds, or an HTTP date.
std::optional<int> parseRetryAfter(const QByteArray &value)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool number = false;
    const qlonglong seconds = text.toLongLong(&number);
    if (number)
        return seconds < 0 ? std::nullopt : std::optional<int>(static_cast<int>(std::min<qlonglong>(seconds, kLongestRetryAfterSeconds)));
    const QDateTime at = QDateTime::fromString(QString::fromLatin1(text), Qt::RFC2822Date);
    if (!at.isValid())
        return std::nullopt;
    const qint64 left = QDateTime::currentDateTimeUtc().secsTo(at);
    return static_cast<int>(std::clamp<qint64>(left, 0, kLongestRetryAfterSeconds));
}

} // namespace

HttpHelper::HttpHelper(const WorkerTiming &timing) : m_timing(timing)
{
    connect(this, &HttpHelper::go, this, &HttpHelper::goSlot);
    // A plain thread that Qt adopts: its start and its end are ones every tool can see.
    m_thread = std::thread([this] { runLoop(); });
    QThread *helperThread;
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_loopStarted; });
        helperThread = m_helperThread;
    }
    if (helperThread)
        moveToThread(helperThread);
    std::lock_guard lock(m_mutex);
    m_moved = true;
    m_changed.notify_all();
}

HttpHelper::~HttpHelper()
{
    {
        std::lock_guard lock(m_aheadMutex);
        m_aheadQuit = true;
        m_aheadCancel = true;
    }
    m_aheadChanged.notify_all();
    interrupt();
    if (m_aheadThread.joinable())
        m_aheadThread.join();
    {
        // Woken under the lock: the thread forgets its dispatcher under the same lock before the
        // dispatcher goes away.
        std::lock_guard lock(m_mutex);
        m_quit = true;
        if (m_dispatcher)
            m_dispatcher->wakeUp();
    }
    m_thread.join();
}

// The helper's thread: carries out what probes hand over, and otherwise waits in the thread's event
// dispatcher, which also runs the network requests. Everything network-related is made and
// destroyed here.
void HttpHelper::runLoop()
{
    // Making an event loop gives the thread its event dispatcher (when the process has an
    // application object); the loop itself is never run, the dispatcher is driven below.
    QEventLoop eventLoop;
    QAbstractEventDispatcher *dispatcher = QThread::currentThread()->eventDispatcher();
    {
        std::unique_lock lock(m_mutex);
        m_helperThread = dispatcher ? QThread::currentThread() : nullptr;
        m_dispatcher = dispatcher;
        m_loopStarted = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_moved; });
        if (!dispatcher)
            return;
    }
    for (;;) {
        std::vector<Command> commands;
        {
            std::lock_guard lock(m_mutex);
            if (m_quit) {
                m_dispatcher = nullptr;
                break;
            }
            commands.swap(m_commands);
        }
        for (const Command &command : commands) {
            if (command.url.empty())
                abandon(command.probeId);
            else
                emit go(QUrl::fromEncoded(QByteArray::fromStdString(command.url), QUrl::StrictMode), command.probeId);
        }
        if (commands.empty())
            dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    for (auto &[reply, request] : m_requests) {
        reply->disconnect(this);
        reply->abort();
    }
    m_requests.clear();
    delete m_network;
    m_network = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The thread ends here; the helper is deleted later by whichever thread owns it.
    moveToThread(nullptr);
}

void HttpHelper::post(Command command)
{
    std::lock_guard lock(m_mutex);
    m_commands.push_back(std::move(command));
    if (m_dispatcher)
        m_dispatcher->wakeUp();
}

std::optional<uint64_t> HttpHelper::parseContentLength(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

HttpHelper::Result HttpHelper::examine(const QUrl &url, const std::atomic<bool> *stop)
{
    // Qt runs no event loop, the helper's included, in a process without an application object;
    // the player always has one. Without it nothing can be learnt, so do not wait for it.
    if (!QCoreApplication::instance())
        return {};
    if (const std::optional<uint64_t> known = takeAskedAhead(url.toEncoded(), stop))
        return Result{*known, {}};
    if (stop && stop->load())
        return {};
    std::lock_guard serial(m_probeMutex);
    const auto deadline = std::chrono::steady_clock::now() + m_timing.probeOverall;
    auto pause = kFirstRetryPause;
    for (;;) {
        Result result = askOnce(url, stop, deadline);
        if (result.size != 0 || !isPassingFault(result.failure) || (stop && stop->load()))
            return result;
        std::optional<int> retryAfter;
        {
            std::lock_guard lock(m_mutex);
            retryAfter = m_retryAfterSeconds;
        }
        auto wait = retryAfter ? std::max<std::chrono::milliseconds>(pause, std::chrono::seconds(*retryAfter)) : pause;
        if (std::chrono::steady_clock::now() + wait >= deadline)
            return result;  // another round would not fit in the probe's time
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, wait, [&] { return stop && stop->load(); });
        if (stop && stop->load())
            return {};
        pause = std::min(pause * 2, kLastRetryPause);
    }
}

void HttpHelper::lookAhead(const QUrl &url)
{
    const QByteArray encoded = url.toEncoded();
    if (encoded.isEmpty() || !QCoreApplication::instance())
        return;
    {
        std::lock_guard lock(m_aheadMutex);
        if (m_aheadQuit || m_aheadAsking == encoded || (m_askedAhead && m_askedAhead->url == encoded))
            return;
        m_aheadWanted = encoded;
        if (!m_aheadThread.joinable())
            m_aheadThread = std::thread([this] { runLookAhead(); });
    }
    m_aheadChanged.notify_all();
}

// The look-ahead thread: one round of requests per address (no retries: a passing fault is the real
// probe's to wait out), bounded by one request's time, and given up as soon as a probe wants the
// helper for something else.
void HttpHelper::runLookAhead()
{
    std::unique_lock lock(m_aheadMutex);
    for (;;) {
        m_aheadChanged.wait(lock, [this] { return m_aheadQuit || !m_aheadWanted.isEmpty(); });
        if (m_aheadQuit)
            return;
        const QByteArray encoded = std::exchange(m_aheadWanted, QByteArray());
        m_aheadAsking = encoded;
        m_aheadCancel = false;
        lock.unlock();
        Result result;
        {
            std::lock_guard serial(m_probeMutex);
            if (!m_aheadCancel.load()) {
                const auto deadline = std::chrono::steady_clock::now() + m_timing.probeRequest;
                result = askOnce(QUrl::fromEncoded(encoded, QUrl::StrictMode), &m_aheadCancel, deadline);
            }
        }
        lock.lock();
        if (result.size != 0 && !m_aheadCancel.load())
            m_askedAhead = AskedAhead{encoded, result.size, std::chrono::steady_clock::now()};
        m_aheadAsking.clear();
        m_aheadChanged.notify_all();
    }
}

std::optional<uint64_t> HttpHelper::takeAskedAhead(const QByteArray &url, const std::atomic<bool> *stop)
{
    std::unique_lock lock(m_aheadMutex);
    if (m_aheadWanted != url)
        m_aheadWanted.clear();
    if (!m_aheadAsking.isEmpty() && m_aheadAsking != url) {
        m_aheadCancel = true;
        lock.unlock();
        interrupt();
        lock.lock();
    }
    // Either the answer this probe wants, or one that was just called off: neither takes long.
    while ((!m_aheadAsking.isEmpty() || m_aheadWanted == url) && !(stop && stop->load()))
        m_aheadChanged.wait_for(lock, kWaitSlice);
    std::optional<AskedAhead> known = std::exchange(m_askedAhead, std::nullopt);
    if (known && known->url == url && std::chrono::steady_clock::now() - known->at < LookAheadLifetime)
        return known->size;
    return std::nullopt;
}

HttpHelper::Result HttpHelper::askOnce(const QUrl &url, const std::atomic<bool> *stop,
                                       std::chrono::steady_clock::time_point deadline)
{
    quint64 probeId;
    {
        std::lock_guard lock(m_mutex);
        if (!m_dispatcher)
            return {};
        probeId = ++m_lastProbeId;
        m_currentProbe = probeId;
        m_contentLength = 0;
        m_lengthKnown = false;
        m_started = false;
        m_pending = 0;
        m_requestCount = 0;
        m_lastStatus = 0;
        m_lastNetworkError = QNetworkReply::NoError;
        m_lastHost = hostText(url);
        m_retryAfterSeconds.reset();
        // Both or nothing: a user name alone goes to no server.
        const QString user = url.userName(QUrl::FullyDecoded);
        const QString password = url.password(QUrl::FullyDecoded);
        const bool both = !user.isEmpty() && !password.isEmpty();
        m_credentialOrigin = both ? originOf(url) : QString();
        m_user = both ? user : QString();
        m_password = both ? password : QString();
    }
    // Text, not the QUrl itself: nothing of the caller's objects is shared with the helper's thread.
    const QByteArray encoded = url.toEncoded();
    post(Command{encoded.isEmpty() ? std::string("invalid:") : encoded.toStdString(), probeId});

    const bool mainThread = onMainThread();
    Result result;
    {
        std::unique_lock lock(m_mutex);
        while (!finishedLocked() && !(stop && stop->load()) && std::chrono::steady_clock::now() < deadline) {
            if (mainThread) {
                lock.unlock();
                QCoreApplication::processEvents(QEventLoop::AllEvents);
                lock.lock();
                if (finishedLocked())
                    break;
            }
            m_changed.wait_for(lock, mainThread ? kMainThreadSlice : kWaitSlice);
        }
        const bool stopped = stop && stop->load();
        result = stopped ? Result{m_contentLength, {}} : resultLocked(!finishedLocked());
        m_currentProbe = 0;
    }
    post(Command{std::string(), probeId});
    return result;
}

HttpHelper::Result HttpHelper::resultLocked(bool timedOut) const
{
    Result result;
    result.size = m_contentLength;
    if (result.size != 0)
        return result;
    FailureReason &why = result.failure;
    if (m_requestCount > MaxRequests) {
        why = FailureReason::of(FailureKind::TooManyRedirects, m_lastHost);
    } else if (m_lengthKnown) {
        why = FailureReason::of(FailureKind::SizeUnknown, m_lastHost);  // a success without a usable length
    } else if (m_lastStatus == kHeadNotAllowed || m_lastStatus == kNotImplemented) {
        why = FailureReason::of(FailureKind::SizeUnknown, m_lastHost);
        why.httpStatus = m_lastStatus;
    } else if (m_lastStatus != 0) {
        why = FailureReason::http(m_lastStatus, m_lastHost);
    } else if (m_lastNetworkError != QNetworkReply::NoError) {
        why = FailureReason::of(kindOfNetworkError(m_lastNetworkError), m_lastHost);
    } else if (timedOut) {
        why = FailureReason::of(FailureKind::TimedOut, m_lastHost);
    } else {
        why = FailureReason::of(FailureKind::UnusableAnswer, m_lastHost);
    }
    return result;
}

void HttpHelper::interrupt()
{
    std::lock_guard lock(m_mutex);
    m_changed.notify_all();
}

// The probe is over when every request it started has been answered, or when a request beyond its
// allowance was asked for (a redirect chain that long is not followed to its end).
bool HttpHelper::finishedLocked() const
{
    return (m_started && m_pending == 0) || m_requestCount > MaxRequests;
}

void HttpHelper::goSlot(const QUrl &url, quint64 probeId)
{
    {
        std::lock_guard lock(m_mutex);
        if (probeId != m_currentProbe)
            return;
        if (++m_requestCount > MaxRequests) {
            m_changed.notify_all();
            return;
        }
        m_started = true;
        ++m_pending;
    }

    // Only http and https can be asked; anything else (another scheme, an address that did not
    // parse, no host) is a request that answered nothing.
    if (!url.isValid() || !isHttpScheme(url) || url.host().isEmpty()) {
        std::lock_guard lock(m_mutex);
        m_lastHost = url.host();
        --m_pending;
        m_changed.notify_all();
        return;
    }
    QString user;
    QString password;
    {
        std::lock_guard lock(m_mutex);
        if (!m_credentialOrigin.isEmpty() && originOf(url) == m_credentialOrigin) {
            user = m_user;
            password = m_password;
        }
    }

    if (!m_network)
        m_network = new QNetworkAccessManager(this);

    QUrl target = url;
    target.setUserInfo(QString());
    QNetworkRequest request(target);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setTransferTimeout(static_cast<int>(m_timing.probeRequest.count()));
    if (!user.isEmpty())
        request.setRawHeader("Authorization", "Basic " + (user + ':' + password).toUtf8().toBase64());

    QNetworkReply *reply = m_network->head(request);
    m_requests[reply] = Request{probeId, false};
    // Connected by name rather than to functors: Qt may release a reply's connections on its own
    // network thread, and a functor's slot object is this program's memory, freed there under a
    // reference count ThreadSanitizer cannot see. Connections by name live wholly inside Qt.
    connect(reply, SIGNAL(metaDataChanged()), this, SLOT(replyHeaderReceived()));
    connect(reply, SIGNAL(finished()), this, SLOT(replyFinished()));
}

void HttpHelper::replyHeaderReceived()
{
    if (auto *reply = qobject_cast<QNetworkReply *>(sender()))
        responseHeaderReceived(reply);
}

void HttpHelper::replyFinished()
{
    if (auto *reply = qobject_cast<QNetworkReply *>(sender()))
        complete(reply);
}

void HttpHelper::responseHeaderReceived(QNetworkReply *resp)
{
    auto found = m_requests.find(resp);
    if (found == m_requests.end() || found->second.headerSeen)
        return;
    const QVariant statusAttribute = resp->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusAttribute.isValid())
        return;  // no answer yet (the connection failed before any header)
    found->second.headerSeen = true;
    const quint64 probeId = found->second.probeId;
    const int status = statusAttribute.toInt();

    {
        std::lock_guard lock(m_mutex);
        if (probeId == m_currentProbe) {
            m_lastHost = hostText(resp->url());
            if (status < 200 || status > 399 || (status >= 300 && resp->rawHeader("Location").isEmpty())) {
                m_lastStatus = status;
                if (resp->hasRawHeader("Retry-After"))
                    m_retryAfterSeconds = parseRetryAfter(resp->rawHeader("Retry-After"));
            }
        }
    }
    if (status >= 300 && status <= 399) {
        const QByteArray location = resp->rawHeader("Location");
        if (location.isEmpty())
            return;
        // A relative reference names a place on the server that answered.
        const QUrl next = resp->url().resolved(QUrl(QString::fromUtf8(location), QUrl::TolerantMode));
        emit go(next, probeId);
    } else if (status >= 200 && status <= 299) {
        const QByteArray header = resp->rawHeader("Content-Length");
        const uint64_t length =
            parseContentLength(std::string_view(header.constData(), static_cast<size_t>(header.size()))).value_or(0);
        std::lock_guard lock(m_mutex);
        if (probeId == m_currentProbe && !m_lengthKnown) {
            m_contentLength = length;
            m_lengthKnown = true;
        }
    }
}

void HttpHelper::complete(QNetworkReply *resp)
{
    responseHeaderReceived(resp);  // a reply may finish without having announced its header
    auto found = m_requests.find(resp);
    if (found == m_requests.end())
        return;
    const quint64 probeId = found->second.probeId;
    const bool answered = found->second.headerSeen;
    m_requests.erase(found);
    resp->deleteLater();
    std::lock_guard lock(m_mutex);
    if (probeId == m_currentProbe) {
        if (!answered && resp->error() != QNetworkReply::NoError) {
            m_lastNetworkError = resp->error();
            m_lastHost = hostText(resp->url());
        }
        --m_pending;
        m_changed.notify_all();
    }
}

void HttpHelper::abandon(quint64 probeId)
{
    for (auto it = m_requests.begin(); it != m_requests.end();) {
        if (it->second.probeId != probeId) {
            ++it;
            continue;
        }
        QNetworkReply *reply = it->first;
        it = m_requests.erase(it);
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

} // namespace Lumora
