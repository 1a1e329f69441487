#pragma once
// Internals of HttpTestServer shared by its two source files.

#include "tests/support/http/HttpTestServer.h"

namespace LumoraTest {

// What is served at a path: its bytes come from a string, a file or the generated pattern.
struct HttpTestServer::Resource {
    enum class Kind { Bytes, File, Generated } kind = Kind::Bytes;
    std::string bytes;
    std::filesystem::path file;
    uint64_t generatedSize = 0;

    // Size and validators at the moment of a request (a file may change under the server).
    struct Snapshot {
        uint64_t size = 0;
        std::string etag;
        std::string lastModified;
        bool readable = true;
    };
    Snapshot snapshot(uint64_t version) const;
    // Copies count bytes from offset; false when the source cannot be read.
    bool read(uint64_t offset, char *out, size_t count) const;
};

struct HttpTestServer::Route {
    std::shared_ptr<const Resource> resource;  // null for a redirect
    uint64_t version = 0;                      // new for every registration: drives the validators
    HttpBehaviour behaviour;
    std::string location;
    int redirectStatus = 0;
};

} // namespace LumoraTest
