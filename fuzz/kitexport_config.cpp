// Any bytes given to the "kitExport.cfg" reader must end cleanly, and what it accepts must
// write back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "kitexport/kit_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vorlan::kitexport::KitSettings s;
  if (vorlan::kitexport::DecodeKitConfig(std::span(data, size), s) != vorlan::kitexport::KitConfigStatus::Ok)
    return 0;
  // Paths read back already end in their backslash, so encoding them again adds nothing; the
  // check boxes come back as 0 or 1.
  std::vector<uint8_t> again = vorlan::kitexport::EncodeKitConfig(s);
  vorlan::kitexport::KitSettings twice;
  if (vorlan::kitexport::DecodeKitConfig(again, twice) != vorlan::kitexport::KitConfigStatus::Ok ||
      !(twice == s))
    std::abort();
  return 0;
}
