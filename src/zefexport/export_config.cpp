#include "zefexport/export_config.h"

#include <cctype>
#include <variant>

#include "support/bytes.h"
#include "support/file_io.h"

namespace vorlan::zefexport {

std::string ConfigPath(const host::Interface& ip) {
  return support::NativePath(ip.GetPlugCfgDir() + "\\" + kConfigFileName);
}

bool SaveConfig(const std::string& path, const ExportOptions& o) {
  std::vector<uint8_t> bytes;
  support::ByteWriter w(bytes);
  w.U32(kConfigFormat);
  w.U8(o.smoothWholeScene ? 1 : 0);
  w.U8(o.resmoothSingleObjects ? 1 : 0);
  w.U8(o.distinguishLODs ? 1 : 0);
  // Most exports change no setting: a file that already holds these bytes is left alone,
  // which spares every export a synced write and rename.
  std::vector<uint8_t> held;
  if (support::ReadWholeFile(path, held, 4096) && held == bytes) return true;
  return support::WriteFileAtomic(path, bytes).ok;
}

ConfigStatus LoadConfig(const std::string& path, ExportOptions& o) {
  if (!support::FileExists(path)) SaveConfig(path, o);
  std::vector<uint8_t> bytes;
  if (!support::ReadWholeFile(path, bytes, 4096)) return ConfigStatus::Unreadable;
  support::ByteReader r(bytes);
  auto format = r.U32();
  if (!format) return ConfigStatus::Ok;
  if (*format >= 2) return ConfigStatus::NewerFormat;
  auto a = r.U8(), b = r.U8(), c = r.U8();
  if (!a || !b || !c) return ConfigStatus::Ok;
  o.smoothWholeScene = *a != 0;
  o.resmoothSingleObjects = *b != 0;
  o.distinguishLODs = *c != 0;
  return ConfigStatus::Ok;
}

bool ApplyOptionBits(uint32_t bits, ExportOptions& o) {
  if (bits & kOptSmoothWholeScene) o.smoothWholeScene = true;
  if (bits & kOptResmoothSingle) o.resmoothSingleObjects = true;
  if (bits & kOptDistinguishLODs) o.distinguishLODs = true;
  bool noDialog = (bits & kOptNoDialog) != 0;
  if (noDialog) {
    if (!(bits & kOptSmoothWholeScene)) o.smoothWholeScene = false;
    if (!(bits & kOptResmoothSingle)) o.resmoothSingleObjects = false;
    if (!(bits & kOptDistinguishLODs)) o.distinguishLODs = false;
  }
  return noDialog;
}

namespace {
std::optional<bool> BoolProperty(const host::Interface& ip, const char* name) {
  auto p = ip.GetSceneProperty(name);
  if (!p) return std::nullopt;
  if (auto* i = std::get_if<int>(&*p)) return *i != 0;
  if (auto* f = std::get_if<float>(&*p)) return *f != 0.0f;
  const std::string& s = std::get<std::string>(*p);
  return !s.empty() && s != "0";
}
}  // namespace

void ApplySceneProperties(const host::Interface& ip, ExportOptions& o, std::string& comment,
                          bool& hasComment) {
  if (auto v = BoolProperty(ip, "ResmoothSingleObjects")) o.resmoothSingleObjects = *v;
  if (auto v = BoolProperty(ip, "SmoothWholeSceneTogether")) o.smoothWholeScene = *v;
  if (auto v = BoolProperty(ip, "DistinguishLODs")) o.distinguishLODs = *v;
  if (auto note = ip.GetSceneProperty("Note")) {
    std::string text;
    if (auto* s = std::get_if<std::string>(&*note)) text = *s;
    comment = text;
    hasComment = !text.empty();
  }
}

std::string LowerCaseExtension(const std::string& path) {
  std::size_t nameStart = path.find_last_of("\\/");
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  std::size_t dot = path.rfind('.');
  std::size_t from = (dot == std::string::npos || dot < nameStart) ? nameStart : dot;
  std::string out = path;
  for (std::size_t i = from; i < out.size(); ++i)
    out[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(out[i])));
  return out;
}

}  // namespace vorlan::zefexport
