#include "kitexport/kit_paths.h"

namespace vorlan::kitexport {

std::string WithBackslash(std::string_view part) {
  std::string s(part);
  // A folder typed on this system may already end in its own separator.
  if (!s.empty() && s.back() != '\\' && s.back() != '/') s += '\\';
  return s;
}

std::string JoinDir(std::string_view first, std::string_view second) {
  return WithBackslash(first) + WithBackslash(second);
}

std::string ExportDir(const KitSettings& s) { return JoinDir(s.enginePath, s.exportPath); }
std::string ZefRoot(const KitSettings& s) { return JoinDir(s.enginePath, s.zefPath); }

std::string RelativeToEngine(std::string_view fullPath, std::string_view enginePath) {
  std::size_t cut = WithBackslash(enginePath).size();
  return cut >= fullPath.size() ? std::string() : std::string(fullPath.substr(cut));
}

std::string DoubleBackslashes(std::string_view path) {
  std::string out;
  out.reserve(path.size() + 8);
  for (char c : path) {
    out += c;
    if (c == '\\') out += '\\';
  }
  return out;
}

std::string IndexFileName(std::string_view sceneFileName) {
  return std::string(sceneFileName.substr(0, sceneFileName.find('.'))) + ".ini";
}

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
}  // namespace

bool RelativeFromPicked(std::string_view picked, std::string_view enginePath, std::string& relative) {
  // The picker of this system separates folders with '/', the settings with '\\': the two
  // are one separator here, and every other byte must match exactly.
  std::string prefix = WithBackslash(enginePath);
  if (picked.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (picked[i] != prefix[i] && !(IsSeparator(picked[i]) && IsSeparator(prefix[i]))) return false;
  relative = std::string(picked.substr(prefix.size()));
  for (char& c : relative)
    if (c == '/') c = '\\';
  return true;
}

}  // namespace vorlan::kitexport
