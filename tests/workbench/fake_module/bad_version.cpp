// A module built against another host interface version: the loader must refuse it without
// asking for its class descriptor.
#include <cstdint>
#include <cstdlib>

namespace vorlan::host {
class ClassDesc;
}

extern "C" __attribute__((visibility("default"))) const char* LibDescription() { return "Old module"; }
extern "C" __attribute__((visibility("default"))) int LibNumberClasses() { return 1; }
extern "C" __attribute__((visibility("default"))) vorlan::host::ClassDesc* LibClassDesc(int) { std::abort(); }
extern "C" __attribute__((visibility("default"))) uint32_t LibVersion() { return 0x12345678; }
