// Animation paths in the data file are relative to the engine's root folder, the first
// folder along the path that holds the engine's "logs.dll".
#pragma once

#include <optional>
#include <string>

namespace vorlan::shoteditor {

// The part of `path` after the engine root, or nothing when no folder along it is the
// root. Folders are separated by '\' or '/'.
std::optional<std::string> PathBelowEngineRoot(const std::string& path);

}  // namespace vorlan::shoteditor
