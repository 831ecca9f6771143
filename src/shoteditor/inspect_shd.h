// A readable listing of a .shd file, for `vorlan inspect` and for people checking a file a
// pipeline produced.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vorlan::shoteditor {

struct ShdListing {
  bool ok = false;   // the file is a sound .shd file
  std::string text;  // the listing, or what is wrong with the file
};

ShdListing InspectShd(std::span<const uint8_t> bytes);

}  // namespace vorlan::shoteditor
