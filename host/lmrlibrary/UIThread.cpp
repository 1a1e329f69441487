#include "host/lmrlibrary/UIThread.h"

#include <cstdio>
#include <mutex>

namespace Lumora {

namespace {

std::mutex &sinkMutex()
{
    static std::mutex mutex;
    return mutex;
}

UIThread::MessageSink &currentSink()
{
    static UIThread::MessageSink sink;
    return sink;
}

void printToStderr(int icon, const QString &text, const QString &detail)
{
    const char *kind = icon == UIThread::Warning ? "warning" : icon == UIThread::Critical ? "error" : "note";
    std::fprintf(stderr, "%s: %s\n", kind, text.toLocal8Bit().constData());
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", detail.toLocal8Bit().constData());
}

} // namespace

void UIThread::displayMessage(int icon, const QString &text, const QString &detail, bool)
{
    MessageSink sink;
    {
        std::lock_guard lock(sinkMutex());
        sink = currentSink();
    }
    if (sink)
        sink(icon, text, detail);
    else
        printToStderr(icon, text, detail);
}

UIThread::MessageSink UIThread::setMessageSink(MessageSink sink)
{
    std::lock_guard lock(sinkMutex());
    MessageSink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

} // namespace Lumora
