// A library for the loading tests to load.
#ifdef _WIN32
#define TEST_LIBRARY_EXPORT extern "C" __declspec(dllexport)
#else
#define TEST_LIBRARY_EXPORT extern "C" __attribute__((visibility("default")))
#endif

TEST_LIBRARY_EXPORT int lumoraTestAnswer() { return 42; }
