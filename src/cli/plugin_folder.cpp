#include "plugin_folder.h"

#include <unistd.h>

#include <cstdlib>

namespace vorlan::cli {

namespace {

std::string ProgramDir() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<std::size_t>(n));
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

std::string ResolvePluginDir(const std::string& option) {
  if (!option.empty()) return option;
  if (const char* env = std::getenv("VORLAN_PLUGIN_DIR"); env && *env) return env;
  return ProgramDir() + "/../plugins";
}

}  // namespace vorlan::cli
