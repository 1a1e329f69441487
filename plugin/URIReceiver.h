#pragma once
// InterfaceNames::uriReceiver(): the host hands addresses to the plugins that declare
// the schemes and MIME types they take.

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace Lumora {

class URIReceiver {
public:
    virtual QStringList supportedSchemes() = 0;
    virtual QStringList supportedMimeTypes(const QString &scheme) = 0;
    // receiveURI for each address, in order.
    virtual void receiveURIs(const QList<QUrl> &uris);
    virtual void receiveURI(const QUrl &uri) = 0;

protected:
    // Not a way to delete the plugin: the receiver has no virtual destructor of its own.
    ~URIReceiver() = default;
};

} // namespace Lumora
