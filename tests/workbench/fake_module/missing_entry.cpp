// A module that forgot one of the four entry points.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) const char* LibDescription() { return "Incomplete"; }
extern "C" __attribute__((visibility("default"))) int LibNumberClasses() { return 1; }
extern "C" __attribute__((visibility("default"))) uint32_t LibVersion() { return 0x56520001; }
