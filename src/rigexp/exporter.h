// RigExp, the character exporter: the host calls DoExport when the artist exports a skinned
// character to a .zef file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/plugin.h"
#include "rigexp/cut_report.h"

namespace vorlan::rigexp {

inline constexpr const char* kRigLogPath = "C:\\RigExp.log";

const host::StringTable& RigExpStrings();

class RigExporter : public host::TabledFormatPlugin<host::SceneExport, RigExpStrings> {
 public:
  // Never throws: a failure inside ends the export with 0.
  int DoExport(const char* name, host::Interface& ip, bool suppressPrompts, uint32_t options) override;

  // What the five-bone rule cut in the last export that wrote a file.
  const std::vector<MeshCutReport>& LastCuts() const { return lastCuts_; }

 private:
  int Export(const std::string& name, host::Interface& ip, uint32_t options);

  std::vector<MeshCutReport> lastCuts_;
};

}  // namespace vorlan::rigexp
