// The scene exporter: the host calls DoExport when the artist exports to a .zef file.
#pragma once

#include <cstdint>
#include <string>

#include "host/plugin.h"
#include "zefexport/export_context.h"

namespace vorlan::zefexport {

class ZefExporter : public host::SceneExport {
 public:
  ZefExporter();

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

  const ExportOptions& Options() const { return options_; }

 private:
  int Export(const std::string& name, host::Interface& ip, bool suppressPrompts, uint32_t options);

  ExportOptions options_;
  std::string userText_;
  std::string comment_;
  bool hasComment_ = false;
};

const host::StringTable& ZefExportStrings();

}  // namespace vorlan::zefexport
