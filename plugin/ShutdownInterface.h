#pragma once
// InterfaceNames::shutdown(): the host calls shutdown() once, on one of its own
// threads (never a plugin's), before it gives up its reference to the plugin.

namespace Lumora {

class ShutdownInterface {
public:
    // Deletes the whole plugin object.
    virtual ~ShutdownInterface() = default;
    virtual void shutdown() = 0;
};

} // namespace Lumora
