// The .skd skin data file: every saved vertex's world position and its bone assignments.
//
// Header (16 bytes): "skd\0", version 3, record count (never 0), selection flag (1: only
// the selected vertices were saved). Each record: vertex index, world position, render
// normal, the count of assignments, then per assignment its weight, its offset in the
// bone's space and the bone's name in a zero-filled 32-byte field. All little-endian.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/math3d.h"

namespace vorlan::skintools {

inline constexpr int32_t kSkdVersion = 3;
inline constexpr std::size_t kSkdHeaderSize = 16;
inline constexpr std::size_t kSkdRecordHeadSize = 32;
inline constexpr std::size_t kSkdBoneSize = 48;
inline constexpr std::size_t kSkdNameField = 32;  // at most 31 characters and the zero

struct SkdBone {
  float weight = 0;
  host::Point3 offset;  // the vertex in the bone's space
  std::string name;
  friend bool operator==(const SkdBone&, const SkdBone&) = default;
};

struct SkdRecord {
  int32_t index = 0;  // the vertex's index in the saved object
  host::Point3 position;
  host::Point3 normal;
  std::vector<SkdBone> bones;
  friend bool operator==(const SkdRecord&, const SkdRecord&) = default;
};

struct SkdData {
  bool selectedOnly = false;
  std::vector<SkdRecord> records;
};

// The file's bytes. Names longer than 31 characters are cut to 31 (the field holds no
// more); callers that care refuse them before (see BoneNameFits).
std::vector<uint8_t> EncodeSkd(const SkdData& data);
bool BoneNameFits(const std::string& name);

enum class SkdStatus { Ok, WrongVersion };
// Reads any bytes safely. A wrong magic, another version, a zero count or a file shorter
// than its header is WrongVersion (and `data` is empty). Records are read in file order
// until the count is reached or the file ends (a record that does not fit whole is not
// taken); assignments of one record naming the same bone (byte for byte) are merged into
// the first, adding the weights.
SkdStatus DecodeSkd(std::span<const uint8_t> bytes, SkdData& data);

// A readable listing for `vorlan inspect`: header, then one line per record.
std::string DescribeSkd(const SkdData& data, std::size_t claimedCount);

}  // namespace vorlan::skintools
