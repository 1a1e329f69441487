#pragma once
// Messages to the user. The player shows them in its window; here they go to a sink that the host
// replaces (the command-line player prints them, tests record them). Default: standard error.

#include "host/lmrlibrary/LMRLibraryExport.h"

#include <QString>

#include <functional>

namespace Lumora {

class LMRLIBRARY_EXPORT UIThread {
public:
    // The icon values of a message box.
    enum Icon { NoIcon = 0, Information = 1, Warning = 2, Critical = 3, Question = 4 };

    using MessageSink = std::function<void(int icon, const QString &text, const QString &detail)>;

    // Shows a message from any thread; returns at once.
    static void displayMessage(int icon, const QString &text, const QString &detail, bool modal);
    // Replaces the sink and returns the previous one; an empty sink restores the default.
    static MessageSink setMessageSink(MessageSink sink);
};

} // namespace Lumora
