// Loads any scene the workbench understands into a scene model, chosen by extension.
#pragma once

#include <string>

#include "workbench/scene.h"

namespace vorlan::cli {

struct LoadResult {
  bool ok = false;
  std::string error;
  explicit operator bool() const { return ok; }
};

LoadResult LoadScene(const std::string& path, workbench::Scene& scene);

std::string LowerExtension(const std::string& path);

}  // namespace vorlan::cli
