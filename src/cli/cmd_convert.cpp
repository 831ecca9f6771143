#include <stdlib.h>

#include <filesystem>
#include <ostream>
#include <system_error>

#include "commands.h"
#include "scene_loading.h"
#include "interchange/export.h"
#include "workbench/scene_document.h"

namespace vorlan::cli {

namespace {

// A folder of its own for the images a file embeds while they are on their way into a
// .glb; removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code ec;
    std::string tmpl = (std::filesystem::temp_directory_path(ec) / "vorlan_convert_XXXXXX").string();
    if (!ec && ::mkdtemp(tmpl.data())) path_ = tmpl;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

int RunConvert(const CommonOptions& common, const ConvertOptions& o, std::ostream& out, std::ostream& err) {
  const std::string ext = LowerExtension(o.out);
  if (ext != "vscene" && ext != "glb") {
    err << "vorlan convert: \"" << o.out << "\": convert writes .vscene or .glb files\n";
    return 1;
  }
  // A document names its textures, so embedded images go beside it; a .glb embeds them again.
  ScratchFolder scratch;
  const std::string textureDir = ext == "glb" ? scratch.Path() : OutputFolder(o.out);

  workbench::Scene scene;
  LoadResult loaded = LoadScene(o.in, scene, MakeLoadOptions(common, o.interchange, textureDir));
  for (const std::string& w : loaded.warnings) err << "vorlan convert: warning: " << w << "\n";
  if (!loaded) {
    err << "vorlan convert: " << loaded.error << "\n";
    return 1;
  }

  if (ext == "vscene") {
    if (auto r = workbench::SaveSceneDocument(scene, o.out); !r) {
      err << "vorlan convert: " << r.error << "\n";
      return 1;
    }
  } else {
    // The .glb is written in the scene's own units and glTF's Y-up axes.
    workbench::GlbExportResult r = workbench::ExportGlb(scene, o.out, {});
    for (const std::string& w : r.warnings) err << "vorlan convert: warning: " << w << "\n";
    if (!r) {
      err << "vorlan convert: " << r.error << "\n";
      return 1;
    }
  }
  out << "converted \"" << o.in << "\" to \"" << o.out << "\"\n";
  return 0;
}

}  // namespace vorlan::cli
