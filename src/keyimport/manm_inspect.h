// A .manm file as text: the header, each record's head and every key, one per line. Reads
// any bytes; a damaged file is printed as far as it goes.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vorlan::manm {

struct InspectResult {
  std::string text;
  bool ok = true;
  std::string error;  // why the file is damaged
};

InspectResult InspectManm(std::span<const uint8_t> bytes);

}  // namespace vorlan::manm
