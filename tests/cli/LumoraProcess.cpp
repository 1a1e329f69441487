#include "tests/cli/LumoraProcess.h"

#include "tests/support/http/HttpTestServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

namespace LumoraTest {

LumoraHome::LumoraHome()
{
    m_dir.setAutoRemove(true);
}

void LumoraHome::setEnvironment(const QString &name, const QString &value)
{
    m_extra.insert(name, value);
}

QProcessEnvironment LumoraHome::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // --home decides; nothing of the test runner's own home may leak in.
    env.remove("LUMORA_HOME");
    env.remove("VEXO_REGISTRY_DIR");
    env.remove("LUMORA_PLAYER_COMMAND");
    env.insert("NO_PROXY", "127.0.0.1,localhost");
    env.insert("no_proxy", "127.0.0.1,localhost");
    env.insert(m_extra);
    return env;
}

std::unique_ptr<QProcess> LumoraHome::start(const QStringList &args) const
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment());
    process->start(QStringLiteral(LUMORA_BINARY), QStringList{"--home", path()} + args);
    process->waitForStarted(10000);
    return process;
}

LumoraResult LumoraHome::finish(QProcess &process, int timeoutMs)
{
    LumoraResult result;
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

LumoraResult LumoraHome::run(const QStringList &args, int timeoutMs) const
{
    std::unique_ptr<QProcess> process = start(args);
    return finish(*process, timeoutMs);
}

QJsonArray LumoraHome::list() const
{
    const LumoraResult result = run({"list", "--json"}, 15000);
    if (result.exitCode != 0)
        return {};
    return QJsonDocument::fromJson(result.out.toUtf8()).array();
}

bool LumoraHome::waitForList(const std::function<bool(const QJsonArray &)> &predicate, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (predicate(list()))
            return true;
        QThread::msleep(100);
    }
    return false;
}

namespace EndToEnd {

QString statusText(Lumora::DownloadStatusValue status)
{
    return QString::fromLatin1(Lumora::downloadStatusName(status));
}

QString clipPath(const QString &name)
{
    return qEnvironmentVariable("LUMORA_TEST_DATA") + '/' + name;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString urlOf(const HttpTestServer &server, const QString &path)
{
    return QString::fromStdString(server.url(path.toStdString()));
}

QJsonObject entryFor(const QJsonArray &list, const QString &sourceEnd)
{
    for (const auto &value : list) {
        if (value.toObject().value("source").toString().endsWith(sourceEnd))
            return value.toObject();
    }
    return {};
}

std::string describe(const LumoraResult &r)
{
    return QStringLiteral("exit %1\n--- out\n%2--- err\n%3").arg(r.exitCode).arg(r.out, r.err).toStdString();
}

} // namespace EndToEnd

} // namespace LumoraTest
