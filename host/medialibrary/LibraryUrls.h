#pragma once
// How the library writes addresses and compares them.

#include <QString>
#include <QUrl>

namespace Lumora::LibraryUrls {

// The stored text of an address (fully encoded, so that it reads back to an equal QUrl).
QString toStored(const QUrl &url);
QUrl fromStored(const QString &text);

// An address with its user name and password removed, as one text: a download is the same download
// whether or not the address carried credentials when it was added or when it is looked up.
QString sourceKey(const QUrl &url);

// The text under which a file is known: for a local file its cleaned absolute path (so that
// file:///a/./b and file:///a/b are one file), otherwise the address without credentials.
QString fileKey(const QUrl &url);

} // namespace Lumora::LibraryUrls
