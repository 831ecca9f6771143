// The shot list's records: camera cuts, timeline ranges and the additional animation rows
// that go with a cinematic into the engine.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "host/math3d.h"
#include "host/node.h"

namespace vorlan::shoteditor {

inline constexpr const char* kNewItemName = "- new item -";
inline constexpr std::size_t kMaxItemName = 63;
inline constexpr std::size_t kMaxDescription = 255;
// Fixed text fields of the data file, zero included.
inline constexpr std::size_t kNameField = 32;
inline constexpr std::size_t kPathField = 260;

// One camera cut: a camera shown from a begin frame to an end frame. Frames are whole
// frames; length is end - begin and may be negative while the user edits.
struct ShotCommand {
  std::string itemName = kNewItemName;
  std::string description;
  int32_t begin = 0;
  int32_t length = 0;
  int32_t end = 0;
  uint32_t colour = 0;  // 0x00BBGGRR
  host::Node* camera = nullptr;
};

struct TimelineRange {
  int32_t begin = 0;
  int32_t length = 0;
  int32_t end = 0;
  friend bool operator==(const TimelineRange&, const TimelineRange&) = default;
};

// Which entity plays which animation, from which frame, placed at which dummy.
struct AnimationInfoRow {
  bool checked = false;
  int32_t startTime = 0;  // frames
  // The dummy's world transform at the start time, row-major 4x4 with the fourth column
  // (0, 0, 0, 1).
  std::array<float, 16> matrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::string dummyName;
  std::string entityName;
  std::string path;  // relative to the engine root
  friend bool operator==(const AnimationInfoRow&, const AnimationInfoRow&) = default;
};

std::array<float, 16> RowMatrix(const host::Matrix3& tm);

}  // namespace vorlan::shoteditor
