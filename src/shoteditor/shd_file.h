// The .shd data file: a 36-byte header, then blocks that each start with an identifier and
// their size. Version 3 writes the options (3), the commands (1) and the animation rows (2)
// in that order; version 2 files hold rows without their check mark.
//
// Reading is all-or-nothing: the whole file is checked before the caller applies any of
// it, so a damaged file cannot leave a half-replaced shot list behind.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "shoteditor/shot_types.h"

namespace vorlan::shoteditor {

inline constexpr int32_t kShdVersion = 3;
inline constexpr std::size_t kShdHeaderSize = 36;
inline constexpr int32_t kCommandsBlock = 1;
inline constexpr int32_t kAnimationBlock = 2;
inline constexpr int32_t kOptionsBlock = 3;
inline constexpr std::size_t kRowSize = 400;
inline constexpr std::size_t kRowSizeV2 = 396;

// One block as read, in file order; only the members of its identifier are filled.
struct ShdBlock {
  int32_t id = 0;
  std::vector<ShotCommand> commands;   // camera left null: the file has names only
  std::vector<AnimationInfoRow> rows;  // version 2 rows come unchecked
  int32_t hideWeapon = 0;
};

struct ShdFile {
  int32_t version = kShdVersion;
  int32_t globalBeginTicks = 0;
  int32_t globalEndTicks = 0;
  int32_t ticksPerFrame = 160;
  int32_t frameRate = 30;
  std::vector<ShdBlock> blocks;  // blocks of other identifiers are skipped
};

struct ShdReadResult {
  enum class Status { Ok, WrongMagic, Corrupted };
  Status status = Status::Corrupted;
  ShdFile file;
  std::string detail;  // where the file is damaged, for logs and tests
  explicit operator bool() const { return status == Status::Ok; }
};

ShdReadResult ReadShd(std::span<const uint8_t> bytes);

// What a save writes: the header values, the options, every command and every row.
struct ShdContent {
  int32_t globalBeginTicks = 0;
  int32_t globalEndTicks = 0;
  int32_t ticksPerFrame = 160;
  int32_t frameRate = 30;
  bool hideWeapon = false;
  std::vector<ShotCommand> commands;
  std::vector<AnimationInfoRow> rows;
};

// The file's bytes. Names longer than their fields are cut to fit (31 characters, 259 for
// the path); a description is cut to 255 characters.
std::vector<uint8_t> WriteShd(const ShdContent& content);

}  // namespace vorlan::shoteditor
