// Serves every file of a folder on 127.0.0.1 for the lumora-vs-curl benchmark: prints the port,
// then serves until its standard input closes.
//
//   lumora_bench_file_server FOLDER

#include "tests/support/http/HttpTestServer.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    LumoraTest::HttpTestServer server;
    size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(argv[1])) {
        if (!entry.is_regular_file())
            continue;
        server.serveFile("/" + entry.path().filename().string(), entry.path());
        ++files;
    }
    std::printf("%d\n", server.port());
    std::fflush(stdout);
    std::fprintf(stderr, "serving %zu files from %s on port %d\n", files, argv[1], server.port());
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}
