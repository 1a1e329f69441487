// A slow network on loopback, for the real-network benchmark: forwards every connection it accepts
// to a server on 127.0.0.1, with a round-trip time and a per-connection rate cap of its choosing
// (this machine's kernel has no network emulation to do it).
//
//   lumora_bench_delay_proxy --upstream PORT [--rtt-ms N] [--rate BYTES_PER_SECOND]
//
// Prints its own port, then serves until its standard input closes.
//
// What it models: every byte, in each direction, arrives half a round trip after it was sent; a
// new connection's first bytes wait one round trip more (the handshake a real connection costs
// before its request can go); and what the server sends on one connection passes at no more than
// the rate (a server or a path that caps each connection). It does not model loss or TCP's slow
// start.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Settings {
    int upstream = 0;
    std::chrono::microseconds rtt{0};
    uint64_t rate = 0;  // bytes per second towards the client; 0 for no cap
};

constexpr size_t kChunk = 64 * 1024;
constexpr size_t kMinimumQueue = 4 * 1024 * 1024;

// One direction of one connection: a reader that paces and stamps what it reads, a writer that
// delivers it when its time has come.
class Pipe {
public:
    Pipe(int from, int to, std::chrono::microseconds delay, std::chrono::microseconds firstDelay, uint64_t rate)
        : m_from(from), m_to(to), m_delay(delay), m_firstDelay(firstDelay), m_rate(rate)
    {
        // Room for what is in flight at the rate, and never less than a few chunks.
        const uint64_t inFlight = rate * uint64_t(std::max(delay, firstDelay).count()) / 1000000;
        m_capacity = std::max<size_t>(kMinimumQueue, size_t(inFlight) * 2);
    }

    void run()
    {
        std::thread writer([this] { deliver(); });
        read();
        writer.join();
    }

private:
    struct Packet {
        Clock::time_point due;
        std::vector<char> bytes;  // empty: the end of the stream
    };

    void read()
    {
        // Reads a chunk small enough that the rate stays smooth.
        const size_t chunk = m_rate ? std::clamp<size_t>(size_t(m_rate / 200), 4096, kChunk) : kChunk;
        Clock::time_point paced = Clock::now();
        bool first = true;
        std::vector<char> buffer(chunk);
        while (true) {
            const ssize_t n = ::recv(m_from, buffer.data(), buffer.size(), 0);
            const auto now = Clock::now();
            Packet packet;
            if (n > 0) {
                packet.bytes.assign(buffer.begin(), buffer.begin() + n);
                if (m_rate) {
                    paced = std::max(paced, now) + std::chrono::microseconds(uint64_t(n) * 1000000 / m_rate);
                }
            }
            packet.due = std::max(paced, now) + (first ? m_firstDelay : m_delay);
            first = false;
            const bool end = n <= 0;
            {
                std::unique_lock lock(m_mutex);
                m_space.wait(lock, [&] { return m_queued < m_capacity || m_closed; });
                m_queued += packet.bytes.size();
                m_queue.push_back(std::move(packet));
            }
            m_ready.notify_one();
            if (end)
                return;
            if (m_rate)
                std::this_thread::sleep_until(paced);
        }
    }

    void deliver()
    {
        while (true) {
            Packet packet;
            {
                std::unique_lock lock(m_mutex);
                m_ready.wait(lock, [&] { return !m_queue.empty(); });
                packet = std::move(m_queue.front());
                m_queue.pop_front();
                m_queued -= packet.bytes.size();
            }
            m_space.notify_one();
            std::this_thread::sleep_until(packet.due);
            if (packet.bytes.empty()) {
                ::shutdown(m_to, SHUT_WR);
                return;
            }
            size_t done = 0;
            while (done < packet.bytes.size()) {
                const ssize_t n = ::send(m_to, packet.bytes.data() + done, packet.bytes.size() - done, MSG_NOSIGNAL);
                if (n <= 0) {
                    // The other side is gone: stop reading too.
                    ::shutdown(m_from, SHUT_RD);
                    std::lock_guard lock(m_mutex);
                    m_closed = true;
                    m_space.notify_all();
                    drainUntilEnd();
                    return;
                }
                done += size_t(n);
            }
        }
    }

    // m_mutex held: lets the reader finish without anyone sending.
    void drainUntilEnd()
    {
        m_queue.clear();
        m_queued = 0;
    }

    const int m_from;
    const int m_to;
    const std::chrono::microseconds m_delay;
    const std::chrono::microseconds m_firstDelay;
    const uint64_t m_rate;
    size_t m_capacity = kMinimumQueue;

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_space;
    std::deque<Packet> m_queue;
    size_t m_queued = 0;
    bool m_closed = false;
};

int connectUpstream(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void serveConnection(int client, const Settings &settings)
{
    const int server = connectUpstream(settings.upstream);
    if (server < 0) {
        ::close(client);
        return;
    }
    const int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const auto half = settings.rtt / 2;
    Pipe up(client, server, half, half + settings.rtt, 0);
    Pipe down(server, client, half, half, settings.rate);
    std::thread upward([&] { up.run(); });
    down.run();
    upward.join();
    ::close(server);
    ::close(client);
}

Settings parse(int argc, char **argv)
{
    Settings settings;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char *value = argv[i + 1];
        if (name == "--upstream")
            settings.upstream = std::atoi(value);
        else if (name == "--rtt-ms")
            settings.rtt = std::chrono::microseconds(std::atoll(value) * 1000);
        else if (name == "--rate")
            settings.rate = std::strtoull(value, nullptr, 10);
    }
    if (settings.upstream <= 0) {
        std::fprintf(stderr, "usage: %s --upstream PORT [--rtt-ms N] [--rate BYTES_PER_SECOND]\n", argv[0]);
        std::exit(2);
    }
    return settings;
}

} // namespace

int main(int argc, char **argv)
{
    const Settings settings = parse(argc, argv);
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr *>(&address), size) != 0 || ::listen(listener, 128) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        std::perror("lumora_bench_delay_proxy");
        return 1;
    }
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    std::thread([listener, settings] {
        while (true) {
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            std::thread(serveConnection, client, settings).detach();
        }
    }).detach();
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}
