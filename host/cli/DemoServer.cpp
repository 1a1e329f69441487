#include "host/cli/DemoServer.h"

#include <QFile>
#include <QUrl>

#include <httplib.h>

namespace Lumora::Cli {

DemoServer::DemoServer() = default;

DemoServer::~DemoServer()
{
    stop();
}

bool DemoServer::start(const QString &folder, QString *error)
{
    m_server = std::make_unique<httplib::Server>();
    if (!m_server->set_mount_point("/", QFile::encodeName(folder).toStdString())) {
        if (error)
            *error = QStringLiteral("cannot serve %1").arg(folder);
        return false;
    }
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0) {
        if (error)
            *error = QStringLiteral("cannot listen on 127.0.0.1");
        return false;
    }
    m_thread = std::thread([server = m_server.get()] { server->listen_after_bind(); });
    return true;
}

void DemoServer::stop()
{
    if (m_server)
        m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
    m_server.reset();
}

QString DemoServer::url(const QString &fileName) const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(m_port);
    url.setPath(QLatin1Char('/') + fileName);
    return url.toString(QUrl::FullyEncoded);
}

} // namespace Lumora::Cli
