#include "platform/RegistryMessages.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace VexoOS::Platform {

namespace {

std::mutex &sinkMutex()
{
    static auto &mutex = *new std::mutex; // never destroyed: registry calls may run during exit
    return mutex;
}

RegistryMessageSink &currentSink()
{
    static auto &sink = *new RegistryMessageSink;
    return sink;
}

} // namespace

RegistryMessageSink setRegistryMessageSink(RegistryMessageSink sink)
{
    std::lock_guard lock(sinkMutex());
    return std::exchange(currentSink(), std::move(sink));
}

void reportRegistryProblem(const std::string &message)
{
    std::lock_guard lock(sinkMutex());
    if (currentSink())
        currentSink()(message);
    else
        std::fprintf(stderr, "vexo registry: %s\n", message.c_str());
}

} // namespace VexoOS::Platform
