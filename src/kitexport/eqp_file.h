// The .eqp equipment file: where a piece of equipment hangs on a bone of a character.
//
// Layout (little-endian, no gaps): "EQPS", version 2, 1, 1.0f, the 4x4 placement (rows X,
// Y, Z axis and offset, each followed by 0, 0, 0, 1 in turn), the bone name's length with its
// zero, and the name with its zero. A file is 84 + length bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/math3d.h"

namespace vorlan::kitexport {

inline constexpr uint32_t kEqpVersion = 2;
inline constexpr std::size_t kEqpHeaderSize = 8;  // magic and version: the first of three writes
inline constexpr std::size_t kEqpBodySize = 76;   // the second: 1, 1.0f, matrix, name length

struct EqpFile {
  host::Matrix3 placement;  // axis rows of the object, offset from the bone in world axes
  std::string boneName;
  // What a reader found in the fields that are constant when written.
  int32_t version = kEqpVersion;
  int32_t one = 1;
  float scale = 1.0f;
};

std::vector<uint8_t> EncodeEqp(const host::Matrix3& placement, const std::string& boneName);

// Reads any bytes safely; nothing for a file that is not an .eqp of a version this reader
// knows or that ends early. `error` says why.
std::optional<EqpFile> DecodeEqp(std::span<const uint8_t> bytes, std::string* error = nullptr);

// A readable listing of an .eqp file, for `vorlan inspect`.
std::string DescribeEqp(const EqpFile& eqp);

}  // namespace vorlan::kitexport
