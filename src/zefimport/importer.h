// The scene importer: the host calls DoImport when the artist imports a .zef file.
#pragma once

#include <string>

#include "host/plugin.h"
#include "zefimport/import_config.h"
#include "zefimport/import_context.h"

namespace vorlan::zefimport {

inline constexpr const char* kLogPath = "C:\\zefImport.log";
inline constexpr const char* kLogHeader = "Log for ZefImport:\n\n\n";
inline constexpr const char* kUnknownBlocksText =
    "Some unknown blocks were found. This data will be lost after you export this scene. \n"
    "For more info see C:\\zefImport.log";

// Control ids of the import dialog.
enum ImportDialogId : int {
  IDC_IMPORT_OK = 1001,
  IDC_IMPORT_CANCEL = 1002,
  IDC_NEW_SCENE = 1003,
  IDC_MERGE_SCENE = 1004,
};

host::DialogModel MakeImportDialog(bool newScene);

const host::StringTable& ZefImportStrings();

class ZefImporter : public host::TabledFormatPlugin<host::SceneImport, ZefImportStrings> {
 public:
  // Never throws: a failure inside ends the import with 0.
  int DoImport(const char* name, host::Interface& ip, bool suppressPrompts) override;

  const ImportSettings& Settings() const { return settings_; }

 private:
  int Import(const std::string& name, host::Interface& ip, bool suppressPrompts);

  ImportSettings settings_;
};

// The import walk over a file already in `ctx.reader`: header, version, the top-level
// blocks with progress and cancel. Returns the walk's result; the scene keeps what was
// built before a failure.
bool ImportWalk(ImportContext& ctx);

}  // namespace vorlan::zefimport
