// The animation exporter: the host calls DoExport when the artist exports to a .manm file,
// and ShotEditor runs it through the host, without prompts, on the selected cameras.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "host/plugin.h"
#include "keyexport/node_records.h"

namespace vorlan::keyexport {

inline constexpr const char* kConfigFileName = "KeyExport.cfg";
inline constexpr uint32_t kConfigVersion = 1;

// Control ids of the options dialog.
enum : int { IDC_SELECTED_ONLY = 1000, IDC_OK = 1001, IDC_CANCEL = 1002, IDC_HIERARCHY = 1003 };

const host::StringTable& KeyExportStrings();

class KeyExporter : public host::TabledFormatPlugin<host::SceneExport, KeyExportStrings> {
 public:
  bool SupportsOptions(int ext, uint32_t options) override;
  // Never throws: a failure inside ends the export with 0.
  int DoExport(const char* name, host::Interface& ip, bool suppressPrompts, uint32_t options) override;

  const ExportChoice& Options() const { return choice_; }

 private:
  int Export(const std::string& name, host::Interface& ip, bool suppressPrompts, uint32_t options);

  ExportChoice choice_;
};

// The configuration file: version 1, then the "selected only" and "hierarchy" bytes.
enum class ConfigStatus { Ok, Refused };
ConfigStatus LoadConfig(const std::string& path, ExportChoice& choice);
bool SaveConfig(const std::string& path, const ExportChoice& choice);

// The options dialog; false when the artist cancels.
bool RunOptionsDialog(host::Interface& ip, ExportChoice& choice);

// Writes the whole file, piece by piece into `sink`: the header with the number of chosen
// nodes, then one record per chosen node. False when the host's cancel request stopped
// the walk, a record was too large for the file or the sink refused a piece.
bool WriteManm(host::Interface& ip, const ExportChoice& choice,
               const std::function<bool(std::span<const uint8_t>)>& sink);

}  // namespace vorlan::keyexport
