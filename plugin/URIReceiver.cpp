#include "plugin/URIReceiver.h"

namespace Lumora {

void URIReceiver::receiveURIs(const QList<QUrl> &uris)
{
    const QList<QUrl> copy = uris;  // a receiver may change the caller's list while we walk it
    for (const QUrl &uri : copy)
        receiveURI(uri);
}

} // namespace Lumora
