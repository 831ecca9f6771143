#include "shoteditor/engine_root.h"

#include "support/file_io.h"

namespace vorlan::shoteditor {

std::optional<std::string> PathBelowEngineRoot(const std::string& path) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] != '\\' && path[i] != '/') continue;
    if (support::FileExists(support::NativePath(path.substr(0, i) + "\\logs.dll"))) return path.substr(i + 1);
  }
  return std::nullopt;
}

}  // namespace vorlan::shoteditor
