// The answer to a request for a served resource: status, ranges, validators, and the body stream
// with its configured faults.

#include "tests/support/http/HttpTestFormat.h"
#include "tests/support/http/HttpTestServer_p.h"

#include <httplib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LumoraTest {

namespace {

constexpr size_t kChunk = 256 * 1024;

// Resets the server's end of the connection from remotePort: RST, not FIN. A zero linger time makes
// a close send RST, but cpp-httplib shuts a socket down (FIN) before it closes it, so the socket is
// closed here, by putting an unconnected one in its place: the descriptor stays valid for the server
// to close later. cpp-httplib does not hand its sockets to handlers; the socket is found among the
// process's descriptors by its two ports.
void resetConnection(int localPort, int remotePort)
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
            || ntohs(local.sin_port) != localPort || ntohs(peer.sin_port) != remotePort)
            continue;
        const linger immediate {1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &immediate, sizeof immediate);
        const int placeholder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (placeholder >= 0) {
            ::dup2(placeholder, fd);
            ::close(placeholder);
        }
    }
    ::closedir(fds);
}

} // namespace

HttpTestServer::Resource::Snapshot HttpTestServer::Resource::snapshot(uint64_t version) const
{
    Snapshot s;
    if (kind == Kind::File) {
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0) {
            s.readable = false;
            return s;
        }
        s.size = static_cast<uint64_t>(st.st_size);
        const int64_t changeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        s.etag = "\"f" + std::to_string(changeNs) + "-" + std::to_string(s.size) + "\"";
        s.lastModified = HttpTestFormat::httpDate(st.st_mtim.tv_sec);
        return s;
    }
    s.size = kind == Kind::Bytes ? bytes.size() : generatedSize;
    s.etag = "\"v" + std::to_string(version) + "-" + std::to_string(s.size) + "\"";
    // A fixed past date, a minute further for every version: each replacement gets its own date even
    // when a test replaces a resource twice within one second.
    s.lastModified = HttpTestFormat::httpDate(1700000000 + std::time_t(version) * 60);
    return s;
}

bool HttpTestServer::Resource::read(uint64_t offset, char *out, size_t count) const
{
    switch (kind) {
    case Kind::Bytes:
        if (offset > bytes.size() || count > bytes.size() - offset)
            return false;
        std::memcpy(out, bytes.data() + offset, count);
        return true;
    case Kind::Generated:
        HttpTestServer::generatedBytes(offset, out, count);
        return true;
    case Kind::File: {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        size_t done = 0;
        while (done < count) {
            const ssize_t n = ::pread(fd, out + done, count - done, off_t(offset + done));
            if (n <= 0)
                break;
            done += size_t(n);
        }
        ::close(fd);
        return done == count;
    }
    }
    return false;
}

// The body of one response: count bytes of the resource from first, sent in chunks, with the stalls,
// drops and throttling of the behaviour. The server calls pump until the body is out or pump says no.
struct HttpTestServer::BodyStream {
    const HttpTestServer *server;
    int localPort = 0;
    int remotePort = 0;
    std::shared_ptr<const Resource> resource;
    uint64_t first = 0;
    uint64_t count = 0;
    HttpBehaviour behaviour;
    bool stalled = false;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::vector<char> buffer;

    // Sends the next chunk at offset (relative to first); false ends the connection.
    bool pump(uint64_t offset, httplib::DataSink &sink)
    {
        if (offset >= count || server->stopping())
            return false;
        uint64_t chunk = std::min<uint64_t>(kChunk, count - offset);
        if (behaviour.dropAfterBytes) {
            if (offset >= *behaviour.dropAfterBytes)
                return false;
            chunk = std::min(chunk, *behaviour.dropAfterBytes - offset);
        }
        if (behaviour.resetAfterBytes) {
            if (offset >= *behaviour.resetAfterBytes) {
                resetConnection(localPort, remotePort);
                return false;
            }
            chunk = std::min(chunk, *behaviour.resetAfterBytes - offset);
        }
        if (behaviour.stallAfterBytes && !stalled) {
            if (offset >= *behaviour.stallAfterBytes) {
                stalled = true;
                if (!server->stall(behaviour.stallFor))
                    return false;
            } else {
                chunk = std::min(chunk, *behaviour.stallAfterBytes - offset);
            }
        }
        if (behaviour.bytesPerSecond > 0) {
            // Small chunks keep the rate even; the wait makes offset + chunk due at the rate.
            chunk = std::min<uint64_t>(chunk, std::max<uint64_t>(1, behaviour.bytesPerSecond / 20));
            const auto due = started
                + std::chrono::microseconds((offset + chunk) * 1000000 / behaviour.bytesPerSecond);
            const auto now = std::chrono::steady_clock::now();
            if (due > now
                && !server->stall(std::chrono::duration_cast<std::chrono::milliseconds>(due - now)
                                  + std::chrono::milliseconds(1)))
                return false;
        }
        buffer.resize(kChunk);
        if (!resource->read(first + offset, buffer.data(), size_t(chunk)))
            return false;
        return sink.write(buffer.data(), size_t(chunk));
    }
};

void HttpTestServer::serveResource(const httplib::Request &request, httplib::Response &response,
                                   const Route &route)
{
    const HttpBehaviour &behaviour = route.behaviour;
    const Resource::Snapshot snap = route.resource->snapshot(route.version);
    if (!snap.readable) {
        response.status = 404;
        response.set_content("not found\n", "text/plain");
        return;
    }

    uint64_t first = 0;
    uint64_t count = snap.size;
    bool partial = false;
    const std::string rangeHeader = request.get_header_value("Range");
    if (behaviour.acceptRanges && behaviour.honourRanges && !rangeHeader.empty()) {
        // If-Range: the range holds only while the client's validator is still the current one.
        const std::string ifRange = request.get_header_value("If-Range");
        const bool current = ifRange.empty() || !behaviour.honourIfRange || (behaviour.sendEtag && ifRange == snap.etag)
            || (behaviour.sendLastModified && ifRange == snap.lastModified);
        if (current) {
            const auto range = HttpTestFormat::parseRange(rangeHeader, snap.size);
            if (range.kind == HttpTestFormat::ByteRange::Kind::Unsatisfiable) {
                response.status = 416;
                response.set_header("Content-Range", "bytes */" + std::to_string(snap.size));
                return;
            }
            if (range.kind == HttpTestFormat::ByteRange::Kind::Satisfiable) {
                first = range.first;
                count = range.count;
                partial = true;
            }
        }
    }

    response.set_header("Accept-Ranges", behaviour.acceptRanges ? "bytes" : "none");
    if (behaviour.sendEtag)
        response.set_header("ETag", snap.etag);
    if (behaviour.sendLastModified)
        response.set_header("Last-Modified", snap.lastModified);
    for (const auto &[name, value] : behaviour.extraHeaders)
        response.set_header(name, value);
    response.status = partial ? 206 : 200;
    if (partial)
        response.set_header("Content-Range", "bytes " + std::to_string(first) + "-"
                                + std::to_string(first + count - 1) + "/" + std::to_string(snap.size));

    auto body = std::make_shared<BodyStream>();
    body->server = this;
    body->localPort = m_port;
    body->remotePort = request.remote_port;
    body->resource = route.resource;
    body->first = first;
    body->count = count;
    body->behaviour = behaviour;
    const std::string &type = behaviour.contentType;

    switch (behaviour.length) {
    case HttpLengthMode::Exact:
        if (count == 0) {
            response.set_content("", type);
            return;
        }
        response.set_content_provider(
            size_t(count), type,
            [body](size_t offset, size_t, httplib::DataSink &sink) { return body->pump(offset, sink); });
        return;
    case HttpLengthMode::NonNumeric:
        response.set_header("Content-Length", "many");
        break;
    case HttpLengthMode::Negative:
        response.set_header("Content-Length", "-1");
        break;
    case HttpLengthMode::Omitted:
        break;
    case HttpLengthMode::Chunked:
        response.set_chunked_content_provider(type, [body](size_t offset, httplib::DataSink &sink) {
            if (offset >= body->count) {
                sink.done();
                return true;
            }
            return body->pump(offset, sink);
        });
        return;
    }
    // Without a usable length the body ends where the connection does: the stream refuses to go on
    // past the end, which makes the server close the connection.
    response.set_content_provider(
        type, [body](size_t offset, httplib::DataSink &sink) { return body->pump(offset, sink); });
}

} // namespace LumoraTest
