// The whole scene export from any bytes: a scene document read with the real material reader,
// exported by the scene exporter (mesh export, user properties, smoothing, physics, the
// viewport thumbnail, welding), and the file read back. Whatever the exporter agrees to
// write, our reader must read without a single problem.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "support/file_io.h"
#include "workbench/materials_document.h"
#include "workbench/scene_document.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"
#include "zef/reader.h"
#include "zefexport/export_config.h"
#include "zefexport/exporter.h"

namespace {

// The exporter's settings and output, private to this process.
struct Folder {
  Folder() {
    char tmpl[] = "/tmp/vorlan_fuzz_export_XXXXXX";
    if (::mkdtemp(tmpl)) dir = tmpl;
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string dir;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace vorlan;
  static Folder folder;
  static const bool codec = (workbench::RegisterMaterialDocumentCodec(), true);
  (void)codec;
  if (folder.dir.empty()) return 0;

  workbench::Scene scene;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!workbench::ParseSceneDocument(text, scene, "fuzz")) return 0;

  workbench::ScriptedUI ui;
  workbench::Workbench wb(scene, ui);
  wb.SetPlugCfgDir(folder.dir);
  wb.SetLogDir(folder.dir + "/logs");
  const std::string out = folder.dir + "/out.zef";
  std::remove(out.c_str());
  zefexport::ZefExporter exporter;
  // Half the inputs export the selection only, as `vorlan export --selected` does.
  const uint32_t options = size % 2 ? zefexport::kOptSelected : 0u;
  if (!exporter.DoExport(out.c_str(), wb, true, options)) return 0;

  std::vector<uint8_t> bytes;
  if (!support::ReadWholeFile(out, bytes)) __builtin_trap();
  zef::ZefFile file;
  if (zef::ParseZef(bytes, file) != zef::ZefResult::kSuccess || !file.problems.empty()) __builtin_trap();
  if (!zef::ValidateZef(bytes, file).empty()) __builtin_trap();
  return 0;
}
