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

class RigExporter : public host::SceneExport {
 public:
  int ExtCount() override { return 1; }
  const char* Ext(int n) override;
  const char* LongDesc() override;
  const char* ShortDesc() override;
  const char* AuthorName() override;
  const char* CopyrightMessage() override;
  const char* OtherMessage1() override { return ""; }
  const char* OtherMessage2() override { return ""; }
  unsigned int Version() override { return 100; }
  void ShowAbout(host::Interface& ip) override;
  // Never throws: a failure inside ends the export with 0.
  int DoExport(const char* name, host::Interface& ip, bool suppressPrompts, uint32_t options) override;
  void DeleteThis() override { delete this; }

  // What the five-bone rule cut in the last export that wrote a file.
  const std::vector<MeshCutReport>& LastCuts() const { return lastCuts_; }

 private:
  int Export(const std::string& name, host::Interface& ip, uint32_t options);

  std::vector<MeshCutReport> lastCuts_;
};

const host::StringTable& RigExpStrings();

}  // namespace vorlan::rigexp
