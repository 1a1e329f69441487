#pragma once
// The loopback web server of `lumora demo`: serves the files of one folder on 127.0.0.1 and a port
// the system picks, with HEAD and byte ranges, on its own thread. Made for the bundled clips (small
// files, read whole per request); not a general file server.

#include <QString>

#include <memory>
#include <thread>

namespace httplib {
class Server;
}

namespace Lumora::Cli {

class DemoServer {
public:
    DemoServer();
    ~DemoServer();
    DemoServer(const DemoServer &) = delete;
    DemoServer &operator=(const DemoServer &) = delete;

    bool start(const QString &folder, QString *error);
    void stop();
    int port() const { return m_port; }
    // http://127.0.0.1:port/ + the file name, percent-encoded.
    QString url(const QString &fileName) const;

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
};

} // namespace Lumora::Cli
