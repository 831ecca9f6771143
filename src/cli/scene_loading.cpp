#include "scene_loading.h"

#include <cctype>

#include "workbench/scene_document.h"

namespace vorlan::cli {

std::string LowerExtension(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

LoadResult LoadScene(const std::string& path, workbench::Scene& scene) {
  std::string ext = LowerExtension(path);
  if (ext == "vscene") {
    auto r = workbench::LoadSceneDocument(path, scene);
    return {r.ok, r.error};
  }
  return {false, "\"" + path + "\": unknown scene format \"." + ext + "\" (expected .vscene)"};
}

}  // namespace vorlan::cli
