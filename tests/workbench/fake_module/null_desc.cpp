// A module of the right version that has no class descriptor to give.
#include <cstdint>

#include "host/ids.h"

namespace vorlan::host {
class ClassDesc;
}

extern "C" __attribute__((visibility("default"))) const char* LibDescription() { return "Empty"; }
extern "C" __attribute__((visibility("default"))) int LibNumberClasses() { return 1; }
extern "C" __attribute__((visibility("default"))) vorlan::host::ClassDesc* LibClassDesc(int) {
  return nullptr;
}
extern "C" __attribute__((visibility("default"))) uint32_t LibVersion() {
  return vorlan::host::kHostApiVersion;
}
