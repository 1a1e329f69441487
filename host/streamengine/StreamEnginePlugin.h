#pragma once
// The stream engine as the host loads it: one plugin object that answers
// InterfaceNames::fileInspector() with its inspector (AvFileInspector.h).

#include "host/streamengine/AvFileInspector.h"
#include "plugin/Plugin.h"

namespace Lumora {

class StreamEnginePlugin final : public VSE::Plugin {
public:
    explicit StreamEnginePlugin(VSE::PluginContext *context);
    ~StreamEnginePlugin() override;

    int32_t getInterface(const VSE::AllocatedString<char> &name, void **out) override;

private:
    AvFileInspector m_inspector;
};

} // namespace Lumora
