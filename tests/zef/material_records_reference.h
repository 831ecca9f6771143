// The plain append-or-share of the MatList: walk the records written so far and take the first
// one with the same ID whose bytes match over its size. Quadratic, kept as the oracle for the
// hashed index and as the baseline of its benchmark.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "support/bytes.h"

namespace vorlan::zef::reference {

struct LinearMatList {
  std::vector<uint8_t> records;  // back to back, as in the block after its head
  uint32_t count = 0;

  uint32_t AppendOrShare(std::span<const uint8_t> rec) {
    const uint32_t id = support::LoadU32(rec.data());
    std::size_t at = 0;
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* stored = records.data() + at;
      const uint32_t size = support::LoadU32(stored + 4);
      if (support::LoadU32(stored) == id && size <= rec.size() && std::memcmp(stored, rec.data(), size) == 0)
        return i;
      at += size;
    }
    records.insert(records.end(), rec.begin(), rec.end());
    return count++;
  }
};

}  // namespace vorlan::zef::reference
