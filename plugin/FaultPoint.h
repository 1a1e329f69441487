#pragma once
// Named points where a test build can end the process as a crash would (SIGKILL, nothing flushed,
// nothing cleaned up), to prove that what a crash leaves behind is finished or redone at the next
// start. The point whose name is in the environment variable LUMORA_FAULT_POINT fires; the others
// cost one comparison. Builds without LUMORA_FAULT_POINTS (installs) have no points at all.

#if defined(LUMORA_FAULT_POINTS)
namespace Lumora {
void faultPoint(const char *name);
} // namespace Lumora
#define LUMORA_FAULT_POINT(name) ::Lumora::faultPoint(name)
#else
#define LUMORA_FAULT_POINT(name) ((void)0)
#endif
