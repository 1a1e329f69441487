#include "host/window/AddressText.h"

#include "host/player/AddressIntake.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRegularExpression>

#include <unordered_set>

namespace Lumora::Window::AddressText {

namespace {

// A list of links is small; anything larger dropped by mistake is not read whole.
constexpr qint64 kMaxListBytes = 1 << 20;
constexpr char kComment = '#';

bool isTextFile(const QString &path)
{
    static const QMimeDatabase database;
    return database.mimeTypeForFile(path).inherits(QStringLiteral("text/plain"));
}

} // namespace

QStringList candidates(const QString &text)
{
    QStringList found;
    static const QRegularExpression space(QStringLiteral("\\s+"));
    for (const QString &line : text.split(QRegularExpression(QStringLiteral("[\\r\\n]+")), Qt::SkipEmptyParts)) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(kComment)))
            continue;
        found << trimmed.split(space, Qt::SkipEmptyParts);
    }
    return found;
}

QStringList expandDropped(const QStringList &texts)
{
    QStringList found;
    for (const QString &text : texts) {
        const QUrl url(text.trimmed());
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile() && isTextFile(url.toLocalFile())) {
            QFile file(url.toLocalFile());
            if (file.open(QIODevice::ReadOnly | QIODevice::Text))
                found << candidates(QString::fromUtf8(file.read(kMaxListBytes)));
            continue;
        }
        found << candidates(text);
    }
    return found;
}

Checked check(const QStringList &texts)
{
    Checked checked;
    std::unordered_set<QString> seen;
    for (const QString &text : texts) {
        QUrl url;
        QString reason;
        if (!Host::checkAddress(text, &url, &reason)) {
            checked.problems << QStringLiteral("%1: %2").arg(text, reason);
            continue;
        }
        if (seen.insert(url.toString()).second)
            checked.addresses.push_back(url);
    }
    return checked;
}

} // namespace Lumora::Window::AddressText
