#include "kitexport/kit_paths.h"

namespace vorlan::kitexport {

std::string WithBackslash(std::string_view part) {
  std::string s(part);
  if (!s.empty() && s.back() != '\\') s += '\\';
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

bool RelativeFromPicked(std::string_view picked, std::string_view enginePath, std::string& relative) {
  std::string prefix = WithBackslash(enginePath);
  if (picked.substr(0, prefix.size()) != prefix) return false;
  relative = std::string(picked.substr(prefix.size()));
  return true;
}

}  // namespace vorlan::kitexport
