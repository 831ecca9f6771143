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

class ZefImporter : public host::SceneImport {
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
  // Never throws: a failure inside ends the import with 0.
  int DoImport(const char* name, host::Interface& ip, bool suppressPrompts) override;
  void DeleteThis() override { delete this; }

  const ImportSettings& Settings() const { return settings_; }

 private:
  int Import(const std::string& name, host::Interface& ip, bool suppressPrompts);

  ImportSettings settings_;
};

// The import walk over a file already in `ctx.reader`: header, version, the top-level
// blocks with progress and cancel. Returns the walk's result; the scene keeps what was
// built before a failure.
bool ImportWalk(ImportContext& ctx);

const host::StringTable& ZefImportStrings();

}  // namespace vorlan::zefimport
