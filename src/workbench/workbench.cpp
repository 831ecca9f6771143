#include "workbench/workbench.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "support/file_io.h"

namespace vorlan::workbench {

namespace fs = std::filesystem;

namespace {

std::string PasswdEntry(bool home) {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(static_cast<std::size_t>(size > 0 ? size : 16384));
  passwd pw{};
  passwd* result = nullptr;
  if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &result) != 0 || !result) return {};
  const char* s = home ? result->pw_dir : result->pw_name;
  return s ? s : "";
}

std::string HomeDir() {
  if (const char* h = std::getenv("HOME"); h && h[0] == '/') return h;
  std::string home = PasswdEntry(true);
  return home.empty() ? "/tmp" : home;
}

// An XDG base folder: the variable when it holds an absolute path (relative ones are
// invalid and ignored), else the fallback under the home folder.
std::string XdgDir(const char* var, const char* fallback) {
  if (const char* v = std::getenv(var); v && v[0] == '/') return v;
  return HomeDir() + "/" + fallback;
}

std::string StripTrailingSeparators(std::string dir) {
  while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
  return dir;
}

void EnsureDir(const std::string& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);  // a failure shows when the plug-in opens its file
}

bool IsDriveC(const std::string& p) { return p.size() >= 2 && (p[0] == 'C' || p[0] == 'c') && p[1] == ':'; }

}  // namespace

std::string DefaultPlugCfgDir() { return XdgDir("XDG_CONFIG_HOME", ".config") + "/vorlan/plugcfg"; }
std::string DefaultLogDir() { return XdgDir("XDG_STATE_HOME", ".local/state") + "/vorlan/logs"; }

Workbench::Workbench(Scene& scene, host::UserInterface& ui) : scene_(scene), ui_(ui) {}

void Workbench::SetPlugCfgDir(std::string dir) { plugCfgDir_ = StripTrailingSeparators(std::move(dir)); }
void Workbench::SetLogDir(std::string dir) { logDir_ = StripTrailingSeparators(std::move(dir)); }

std::string Workbench::GetPlugCfgDir() const {
  std::string dir = plugCfgDir_.empty() ? DefaultPlugCfgDir() : plugCfgDir_;
  EnsureDir(dir);
  return dir;
}

std::string Workbench::GetLogDir() const {
  std::string dir = logDir_.empty() ? DefaultLogDir() : logDir_;
  EnsureDir(dir);
  return dir;
}

std::string Workbench::MapHostPath(std::string path) const {
  if (!IsDriveC(path)) return support::NativePath(std::move(path));
  // Resolve the components lexically so that "..\..\" cannot climb out of the log folder.
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&] {
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  };
  for (std::size_t i = 2; i < path.size(); ++i) {
    char c = path[i];
    if (c == '\\' || c == '/')
      flush();
    else
      part += c;
  }
  flush();
  std::string out = GetLogDir();
  for (const auto& p : parts) out += "/" + p;
  return out;
}

std::string Workbench::GetComputerName() const {
  if (!computerName_.empty()) return computerName_;
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) == 0 && buf[0]) return buf;
  return "localhost";
}

std::string Workbench::GetCurFileName() const { return support::FileNamePart(scene_.fileName); }

std::string Workbench::GetUserName() const {
  if (!userName_.empty()) return userName_;
  char buf[256] = {};
  if (getlogin_r(buf, sizeof buf - 1) == 0 && buf[0]) return buf;
  if (const char* u = std::getenv("USER"); u && *u) return u;
  std::string name = PasswdEntry(false);
  return name.empty() ? "user" : name;
}

std::optional<host::SceneProperty> Workbench::GetSceneProperty(const std::string& name) const {
  auto it = scene_.properties.find(name);
  if (it == scene_.properties.end()) return std::nullopt;
  return it->second;
}

std::optional<host::ViewportImage> Workbench::GrabViewport() {
  if (!viewportEnabled_) return std::nullopt;
  return RenderViewport(scene_, viewport_);
}

bool Workbench::ExportToFile(const std::string& path, host::ClassId exporter, bool suppressPrompts,
                             uint32_t options) {
  char id[48];
  std::snprintf(id, sizeof id, "(0x%08X, 0x%08X)", exporter.a, exporter.b);
  lastExportError_.clear();
  const LoadedClass* c = plugins_ ? plugins_->ByClassId(exporter) : nullptr;
  if (!c) {
    lastExportError_ = std::string("no plug-in of class ") + id + " is loaded";
    return false;
  }
  auto e = plugins_->CreateExporter(*c);
  if (!e) {
    lastExportError_ = c->className + " " + id + " is not an exporter";
    return false;
  }
  std::string file = support::NativePath(path);
  if (e->DoExport(file.c_str(), *this, suppressPrompts, options) != 1) {
    lastExportError_ = c->className + " failed to export " + file;
    return false;
  }
  return true;
}

}  // namespace vorlan::workbench
