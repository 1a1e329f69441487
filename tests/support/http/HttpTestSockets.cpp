#include "tests/support/http/HttpTestSockets.h"

#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace LumoraTest::HttpTestSockets {

namespace {

// Calls found(fd, remotePort) for every connected socket of the process whose local port is port.
void forEachConnection(int port, const std::function<void(int, int)> &found)
{
    DIR *fds = ::opendir("/proc/self/fd");
    if (!fds)
        return;
    while (const dirent *entry = ::readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        sockaddr_in local {};
        sockaddr_in peer {};
        socklen_t localSize = sizeof local;
        socklen_t peerSize = sizeof peer;
        if (fd <= 2 || ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &localSize) != 0
            || ::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &peerSize) != 0 || local.sin_family != AF_INET
            || ntohs(local.sin_port) != port)
            continue;
        found(fd, ntohs(peer.sin_port));
    }
    ::closedir(fds);
}

} // namespace

void reset(int localPort, int remotePort)
{
    forEachConnection(localPort, [remotePort](int fd, int peer) {
        if (peer != remotePort)
            return;
        const linger immediate {1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &immediate, sizeof immediate);
        const int placeholder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (placeholder >= 0) {
            ::dup2(placeholder, fd);
            ::close(placeholder);
        }
    });
}

void widenBacklog(int port, int backlog)
{
    DIR *fds = ::opendir("/proc/self/fd");
    if (!fds)
        return;
    while (const dirent *entry = ::readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        sockaddr_in local {};
        socklen_t size = sizeof local;
        int listening = 0;
        socklen_t flagSize = sizeof listening;
        if (fd > 2 && ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &size) == 0
            && local.sin_family == AF_INET && ntohs(local.sin_port) == port
            && ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &flagSize) == 0 && listening)
            ::listen(fd, backlog);  // listening again only changes the queue's length
    }
    ::closedir(fds);
}

void shutdownAll(int localPort)
{
    forEachConnection(localPort, [](int fd, int) { ::shutdown(fd, SHUT_RDWR); });
}

} // namespace LumoraTest::HttpTestSockets
