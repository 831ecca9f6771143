// A bounded parser of a whole .zef file into a tree of blocks, and a separate validator.
//
// Parsing only follows the block heads: it never trusts a size or a count beyond the bytes
// that are there, and it keeps going wherever it safely can, recording each problem with the
// offset where it was found. Validation then checks what the parse found against the layouts
// (counts, fixed sizes, face indices). Neither allocates from a count in the file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/limits.h"
#include "zef/blocks.h"
#include "zef/decoders.h"

namespace vorlan::zef {

struct BlockInfo {
  uint32_t id = 0;
  uint64_t offset = 0;     // of the block head in the file
  uint32_t size = 0;       // the head's size field
  uint64_t available = 0;  // bytes of the block present in the file (its parent); < size when truncated
  std::vector<Field> fields;
  std::vector<BlockInfo> children;

  bool Truncated() const { return available < size; }
  const Field* Find(std::string_view key) const;
};

enum class ZefResult {
  kSuccess,
  kNotZef,          // the magic is not "ZEF"
  kUnknownVersion,  // a version the format does not know
  kTruncated,       // the header or some block runs past the data
  kInvalid,         // a block head that cannot be walked (size below 8, nesting too deep)
};
const char* ToString(ZefResult result);

struct ZefFile {
  uint32_t version = 0;
  VersionFamily family = VersionFamily::kUnknown;
  bool hasHostFields = false;  // host version and node count are present (not for "0005")
  uint32_t hostVersion = 0;
  uint32_t nodeCount = 0;
  uint32_t firstBlock = 0;
  std::vector<BlockInfo> blocks;      // top-level blocks in file order
  std::vector<std::string> problems;  // one line each, naming the offset
};

// Every node level of the deepest allowed scene (host/limits.h), the root before them, and
// the blocks a node holds below itself (object, geometry blocks, their vertices, skeleton
// records) with room to spare. Files of older writers, which stopped at 256, all read.
inline constexpr int kMaxBlockDepth = host::kMaxNodeDepth + 16;

// Parses `data`, a whole file. On kNotZef and kUnknownVersion the tree is empty. Every other
// result comes with the tree as far as it could be walked; problems lists what stopped it.
ZefResult ParseZef(std::span<const uint8_t> data, ZefFile& file);

// Checks a parsed tree against the block layouts: child, GBlock and record counts, fixed block
// sizes, Vertices and Faces sizes and face indices. Returns one line per finding.
std::vector<std::string> ValidateZef(std::span<const uint8_t> data, const ZefFile& file);

}  // namespace vorlan::zef
