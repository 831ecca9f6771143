// Any bytes given to the .zef reader, the inspector, the summary and the flush must end
// cleanly: no read outside the input, no hang, no unbounded allocation.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "zef/flush.h"
#include "zef/inspect.h"
#include "zef/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  vorlan::zef::ZefFile file;
  vorlan::zef::ParseZef(bytes, file);
  vorlan::zef::ValidateZef(bytes, file);
  vorlan::zef::InspectZef(bytes);
  vorlan::zef::SummarizeZef(bytes);
  // A file of the current version is also a valid-looking scene image, so the same bytes
  // drive the welding walk.
  std::vector<uint8_t> out;
  std::string error;
  vorlan::zef::FlushSceneBuffer(bytes, out, nullptr, &error);
  return 0;
}
