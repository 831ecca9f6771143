// Human-readable dump and summary of a .zef file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/math3d.h"
#include "zef/reader.h"

namespace vorlan::zef {

// The block tree of a file, one block per line, indented by nesting: ID in hex, name (or
// "unknown"), size, offset and the decoded fields; then what the parse and the validation
// found. Never fails: a file that cannot be read at all gives a line saying why.
std::string InspectZef(std::span<const uint8_t> data);

// What end-to-end checks want to know about a file without walking it themselves.
struct ZefSummary {
  ZefResult result = ZefResult::kSuccess;
  uint32_t version = 0;
  uint32_t headerNodeCount = 0;
  uint32_t infoTriangles = 0;          // the Info block's triangle total
  uint64_t triangles = 0;              // counts of every Faces block, summed
  uint64_t vertices = 0;               // counts of every Vertices block, summed
  host::Box3 bounds;                   // every finite vertex position present in the file
  uint64_t materialRecords = 0;        // records found inside MatList blocks
  std::vector<std::string> nodeNames;  // Node and SkeletonObj names, depth first
  std::vector<std::string> problems;   // parse problems and validation findings
};
ZefSummary SummarizeZef(std::span<const uint8_t> data);

}  // namespace vorlan::zef
