#include "plugin/TransferState.h"

#include <chrono>

namespace Lumora {

int64_t transferClockMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace Lumora
