// Any bytes given to the material record decoder must end cleanly; a record it accepts must
// encode again to a record that decodes to the same value.
#include "zef/material_records.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <variant>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorlan::zef;
  std::string error;
  auto rec = DecodeMaterialRecord(std::span<const uint8_t>(data, size), &error);
  if (!rec) return 0;
  std::vector<uint8_t> again;
  std::visit([&](const auto& r) { EncodeRecord(r, again); }, *rec);
  auto back = DecodeMaterialRecord(again, &error);
  // Floats compare by value, so a NaN field would never equal itself: compare the bytes of the
  // second encoding instead.
  if (!back) std::abort();
  std::vector<uint8_t> third;
  std::visit([&](const auto& r) { EncodeRecord(r, third); }, *back);
  if (third != again) std::abort();
  return 0;
}
