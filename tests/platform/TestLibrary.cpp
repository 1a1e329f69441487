// A library for the loading tests to load.
extern "C" __attribute__((visibility("default"))) int lumoraTestAnswer() { return 42; }
