#include "host/player/SignalWatcher.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace Lumora::Host {

namespace {

// A closed terminal (SIGHUP) ends the player like SIGTERM: the running download is kept and queued.
constexpr int kWatched[] = {SIGINT, SIGTERM, SIGHUP};

int signalPipe[2] = {-1, -1};
std::atomic<int> signalsSeen{0};
// Read by the handler, so a fixed buffer: nothing may be allocated or freed there.
char leftoverFile[512];
std::atomic<bool> leftoverSet{false};

extern "C" void onSignal(int signalNumber)
{
    if (signalsSeen.fetch_add(1) > 0) {
        if (leftoverSet.load())
            ::unlink(leftoverFile);
        ::_exit(128 + signalNumber);
    }
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    const int saved = errno;
    [[maybe_unused]] ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalWatcher::SignalWatcher(QObject *parent) : QObject(parent) {}

SignalWatcher::~SignalWatcher()
{
    if (m_notifier) {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        for (int signalNumber : kWatched)
            ::sigaction(signalNumber, &action, nullptr);
    }
}

bool SignalWatcher::install()
{
    if (signalPipe[0] < 0) {
        if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return false;
    }
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readSignal(); });

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kWatched) {
        if (::sigaction(signalNumber, &action, nullptr) != 0)
            return false;
    }
    return true;
}

void SignalWatcher::setLeftoverFile(const QByteArray &path)
{
    leftoverSet = false;
    if (path.isEmpty() || static_cast<size_t>(path.size()) >= sizeof leftoverFile)
        return;
    std::memcpy(leftoverFile, path.constData(), static_cast<size_t>(path.size()));
    leftoverFile[path.size()] = '\0';
    leftoverSet = true;
}

void SignalWatcher::readSignal()
{
    unsigned char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1)
        emit shutdownRequested(byte);
}

} // namespace Lumora::Host
