// A library without the plugin entry point.
extern "C" __attribute__((visibility("default"))) int notAPlugin()
{
    return 1;
}
