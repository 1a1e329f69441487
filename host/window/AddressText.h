#pragma once
// Addresses as people hand them to the window: typed or pasted text (one or more per line), dropped
// links, and dropped text files that list links. Each candidate is checked the way the command line
// checks it (Host::checkAddress), with the same reasons.

#include <QString>
#include <QStringList>
#include <QUrl>

#include <vector>

namespace Lumora::Window::AddressText {

// The candidates in text: separated by white space or line breaks; lines starting with '#' are
// comments.
QStringList candidates(const QString &text);

// What a drop or a paste carries, one entry per link or text: a local file that holds text is read
// for its candidates, anything else is a candidate as it is.
QStringList expandDropped(const QStringList &texts);

struct Checked {
    std::vector<QUrl> addresses;  // in the order given, each once
    QStringList problems;         // "text: reason", as the command line words them
};
Checked check(const QStringList &candidates);

} // namespace Lumora::Window::AddressText
