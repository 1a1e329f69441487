#include "host/lmrlibrary/VerboseLog.h"

#include <memory>
#include <mutex>

namespace Lumora {

namespace {

std::mutex &sinkMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Shared, so that a writer keeps the sink it took alive while a host replaces it.
std::shared_ptr<const VerboseLog::Sink> &currentSink()
{
    static std::shared_ptr<const VerboseLog::Sink> sink;
    return sink;
}

} // namespace

void VerboseLog::write(const QString &line)
{
    std::shared_ptr<const Sink> sink;
    {
        std::lock_guard lock(sinkMutex());
        sink = currentSink();
    }
    if (sink && *sink)
        (*sink)(line);
}

VerboseLog::Sink VerboseLog::setSink(Sink sink)
{
    std::lock_guard lock(sinkMutex());
    Sink previous = currentSink() ? *currentSink() : Sink();
    currentSink() = sink ? std::make_shared<const Sink>(std::move(sink)) : nullptr;
    return previous;
}

} // namespace Lumora
