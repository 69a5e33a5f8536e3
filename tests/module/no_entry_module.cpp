// A shared library that is not an in-process server: it has none of the entry points.
extern "C" __attribute__((visibility("default"))) int TrovexNotAServer() { return 42; }
