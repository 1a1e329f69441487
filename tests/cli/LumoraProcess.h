#pragma once
// The built lumora, run as a process in a home of its own, for the end-to-end tests.

#include "plugin/DownloadStatus.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace LumoraTest {

struct LumoraResult {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

class LumoraHome {
public:
    LumoraHome();
    QString path() const { return m_dir.path(); }
    QString mediaFolder() const { return path() + "/Videos/Vexo Movies"; }

    // Extra environment for every lumora of this home (NAME=value).
    void setEnvironment(const QString &name, const QString &value);

    // Runs lumora --home <home> args and waits for it.
    LumoraResult run(const QStringList &args, int timeoutMs = 30000) const;
    // Starts lumora --home <home> args in the background.
    std::unique_ptr<QProcess> start(const QStringList &args) const;
    static LumoraResult finish(QProcess &process, int timeoutMs = 30000);

    // list --json, parsed; empty on failure.
    QJsonArray list() const;
    // Polls list --json until predicate holds for it; false on time-out.
    bool waitForList(const std::function<bool(const QJsonArray &)> &predicate, int timeoutMs) const;

private:
    QProcessEnvironment environment() const;

    QTemporaryDir m_dir;
    QProcessEnvironment m_extra;
};

class HttpTestServer;

// What the end-to-end tests share.
namespace EndToEnd {

inline const QStringList kClips = {"clip-160x120.mp4", "clip-176x144.avi", "clip-320x240.mkv"};

// The status as list --json names it.
QString statusText(Lumora::DownloadStatusValue status);
QString clipPath(const QString &name);
QByteArray fileBytes(const QString &path);
QString urlOf(const HttpTestServer &server, const QString &path);
// The list entry whose source ends so.
QJsonObject entryFor(const QJsonArray &list, const QString &sourceEnd);
// Exit code and both streams, for a failure message.
std::string describe(const LumoraResult &r);

} // namespace EndToEnd

} // namespace LumoraTest
