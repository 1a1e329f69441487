// lumora_peer_helper: the other local user's side of the channel test, run as that user.
//   lumora_peer_helper listen PATH   takes the socket name first, says "ready", answers whoever
//                                    connects with a fake "completed", then says "heard N" (bytes)
//   lumora_peer_helper ask PATH      hands a command to the socket, then says "answered N" (bytes)
// Plain POSIX calls, so that it is the kernel alone that tells who is on the other end.

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kListenWaitMs = 2000;
constexpr int kAnswerWaitMs = 3000;

ssize_t drain(int fd, int timeoutMs)
{
    ssize_t total = 0;
    char buffer[4096];
    for (;;) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, timeoutMs) <= 0)
            return total;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return total;
        total += n;
    }
}

bool addressOf(const char *path, sockaddr_un *address)
{
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof address->sun_path)
        return false;
    std::strcpy(address->sun_path, path);
    return true;
}

void writeAll(int fd, const std::string &text)
{
    // A peer that hung up is no reason to die of SIGPIPE before saying what was heard.
    [[maybe_unused]] const ssize_t written = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const std::string mode = argv[1];
    sockaddr_un address;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0 || !addressOf(argv[2], &address))
        return 3;
    if (mode == "listen") {
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::chmod(argv[2], 0777) != 0
            || ::listen(fd, 1) != 0)
            return 4;
        std::printf("ready\n");
        std::fflush(stdout);
        const int client = ::accept(fd, nullptr, nullptr);
        const ssize_t heard = drain(client, kListenWaitMs);
        writeAll(client, "{\"out\":\"completed\"}\n{\"exit\":0}\n");
        std::printf("heard %zd\n", heard);
        return 0;
    }
    if (mode == "ask") {
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            return 5;
        writeAll(fd, "{\"args\":[\"list\"],\"cwd\":\"/\"}\n");
        std::printf("answered %zd\n", drain(fd, kAnswerWaitMs));
        return 0;
    }
    return 2;
}
