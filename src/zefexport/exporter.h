// The scene exporter: the host calls DoExport when the artist exports to a .zef file.
#pragma once

#include <cstdint>
#include <string>

#include "host/plugin.h"
#include "zefexport/export_context.h"

namespace vorlan::zefexport {

const host::StringTable& ZefExportStrings();

class ZefExporter : public host::TabledFormatPlugin<host::SceneExport, ZefExportStrings> {
 public:
  ZefExporter();

  // Never throws: a failure inside ends the export with 0.
  int DoExport(const char* name, host::Interface& ip, bool suppressPrompts, uint32_t options) override;

  const ExportOptions& Options() const { return options_; }
  // On (the default), mesh parts are welded as they are built, so the image in memory holds
  // each distinct vertex once instead of three per triangle; off, every corner stays in the
  // image until the file is written. The file is the same either way.
  void SetWeldWhileBuilding(bool on) { weldWhileBuilding_ = on; }

 private:
  int Export(const std::string& name, host::Interface& ip, bool suppressPrompts, uint32_t options);

  ExportOptions options_;
  std::string userText_;
  std::string comment_;
  bool hasComment_ = false;
  bool weldWhileBuilding_ = true;
};

}  // namespace vorlan::zefexport
