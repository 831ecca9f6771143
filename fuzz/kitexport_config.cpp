// Any bytes given to the "kitExport.cfg" reader must end cleanly, and saving what it read
// must be stable: a second save of the settings read back gives the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "kitexport/kit_config.h"

using namespace vorlan::kitexport;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  KitSettings s;
  if (DecodeKitConfig(std::span(data, size), s) != KitConfigStatus::Ok) return 0;
  std::vector<uint8_t> once = EncodeKitConfig(s);
  KitSettings back;
  if (DecodeKitConfig(once, back) != KitConfigStatus::Ok || EncodeKitConfig(back) != once) std::abort();
  return 0;
}
