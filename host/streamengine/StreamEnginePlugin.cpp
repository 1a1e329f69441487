#include "host/streamengine/StreamEnginePlugin.h"

#include "plugin/InterfaceNames.h"

extern "C" {
#include <libavutil/log.h>
}

namespace Lumora {

StreamEnginePlugin::StreamEnginePlugin(VSE::PluginContext *context) : VSE::Plugin(context)
{
    // A file that is not a video is an answer, not something to print: the caller gets a code.
    av_log_set_level(AV_LOG_QUIET);
}

StreamEnginePlugin::~StreamEnginePlugin() = default;

int32_t StreamEnginePlugin::getInterface(const VSE::AllocatedString<char> &name, void **out)
{
    if (!out)
        return VSE::PluginNotAvailable;
    *out = nullptr;
    if (name != VSE::InterfaceNames::fileInspector())
        return VSE::PluginNotAvailable;
    *out = static_cast<VSE::FileInspectorInterface *>(&m_inspector);
    return VSE::PluginOk;
}

} // namespace Lumora
