// The answer to a request for a served resource: status, ranges, validators, and the body stream
// with its configured faults.

#include "tests/support/http/HttpTestFormat.h"
#include "tests/support/http/HttpTestServer_p.h"
#include "tests/support/http/HttpTestSockets.h"

#include <httplib.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LumoraTest {

namespace {

constexpr size_t kChunk = 256 * 1024;

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
                HttpTestSockets::reset(localPort, remotePort);
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
