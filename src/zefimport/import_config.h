// The importer's settings file "zefImport.cfg": a format word, the new-scene choice and the
// texture search folder.
#pragma once

#include <string>

#include "host/interface.h"

namespace vorlan::zefimport {

inline constexpr const char* kConfigFileName = "zefImport.cfg";
inline constexpr uint32_t kConfigFormat = 1;
inline constexpr std::size_t kMaxSearchFolder = 259;

struct ImportSettings {
  bool newScene = true;
  std::string searchFolder;
};

std::string ConfigPath(const host::Interface& ip);

enum class ConfigStatus { kOk, kUnreadable, kNewerFormat };

// Reads the settings; a missing file is first written from the defaults. A file of format 2
// or later is refused. The folder is the first line after the new-scene byte, cut to 259
// characters.
ConfigStatus LoadConfig(const std::string& path, ImportSettings& settings);
// Writes format 1, the new-scene byte and the folder text (no terminator), atomically.
bool SaveConfig(const std::string& path, const ImportSettings& settings);

}  // namespace vorlan::zefimport
