// The animation importer: the host calls DoImport when the artist imports a .manm file.
#pragma once

#include <cstdint>
#include <string>

#include "host/plugin.h"
#include "support/memmgr.h"

namespace vorlan::keyimport {

inline constexpr const char* kConfigFileName = "keyImport.cfg";
inline constexpr uint32_t kConfigVersion = 1;
inline constexpr std::size_t kConfigTextMax = 259;

// The configuration: an option byte and a line of text that nothing else depends on.
struct ImportConfig {
  uint8_t option = 0;
  std::string text;
};

enum class ConfigStatus { Ok, Refused };
// A missing file is created from `config`; version 2 or later (or an unreadable file) is
// refused.
ConfigStatus LoadConfig(const std::string& path, ImportConfig& config);
bool SaveConfig(const std::string& path, const ImportConfig& config);

const host::StringTable& KeyImportStrings();

class KeyImporter : public host::TabledFormatPlugin<host::SceneImport, KeyImportStrings> {
 public:
  // Never throws: a failure inside ends the import with 0.
  int DoImport(const char* name, host::Interface& ip, bool suppressPrompts) override;

 private:
  int Import(const std::string& name, host::Interface& ip);

  ImportConfig config_;
  support::MemMgr heap_;
};

}  // namespace vorlan::keyimport
