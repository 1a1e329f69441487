#pragma once
// Where the registry layer tells a person about a hive file it cannot use (it does not parse, it
// cannot be written). These are the only messages the platform layer produces; the calls
// themselves still answer with a result code. By default each message is one line on stderr.

#include <functional>
#include <string>

namespace VexoOS::Platform {

using RegistryMessageSink = std::function<void(const std::string &message)>;

// Replaces the sink (an empty function restores stderr). Returns the previous one. Messages may
// arrive on any thread that calls the registry, one at a time.
RegistryMessageSink setRegistryMessageSink(RegistryMessageSink sink);

void reportRegistryProblem(const std::string &message);

} // namespace VexoOS::Platform
