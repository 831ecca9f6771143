// "kitExport.cfg": version 3, the two check boxes as 32-bit words, then the engine, zef and
// export paths as zero-terminated strings, each with its backslash when not empty.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kitexport/kit_paths.h"

namespace vorlan::kitexport {

inline constexpr const char* kKitConfigFileName = "kitExport.cfg";
inline constexpr int32_t kKitConfigVersion = 3;

std::vector<uint8_t> EncodeKitConfig(const KitSettings& settings);

enum class KitConfigStatus { Ok, OtherVersion, Damaged };
// Reads any bytes safely. A file of version 3 whose fields end early or whose strings are
// not terminated is Damaged and yields the empty state, as does one with no version word.
KitConfigStatus DecodeKitConfig(std::span<const uint8_t> bytes, KitSettings& settings);

// The file in the plug-in configuration folder, as a host path.
std::string KitConfigPath(const std::string& plugCfgDir);

// Writes the file anew; false (and nothing reported) when it cannot be written.
bool SaveKitConfig(const std::string& nativePath, const KitSettings& settings);
// Loads the panel's settings: a missing file is first saved from `current`; a file of
// another version is deleted, saved again from `current` and read back. A damaged file
// gives the empty state.
KitSettings LoadKitConfig(const std::string& nativePath, const KitSettings& current);

}  // namespace vorlan::kitexport
