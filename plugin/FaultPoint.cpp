#include "plugin/FaultPoint.h"

#if defined(LUMORA_FAULT_POINTS)

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace Lumora {

void faultPoint(const char *name)
{
    const char *armed = std::getenv("LUMORA_FAULT_POINT");
    if (!armed || std::strcmp(armed, name) != 0)
        return;
    ::kill(::getpid(), SIGKILL);
    ::_exit(137);  // not reached
}

} // namespace Lumora

#endif
