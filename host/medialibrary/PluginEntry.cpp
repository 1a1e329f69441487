#include "host/medialibrary/MediaLibraryPlugin.h"

#include <new>

extern "C" __attribute__((visibility("default"))) int32_t _getPlugin(VSE::PluginContext *context, VSE::Plugin **out)
{
    if (!out)
        return 0;
    *out = new (std::nothrow) Lumora::MediaLibraryPlugin(context);
    return 0;
}
