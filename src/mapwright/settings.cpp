#include "mapwright/settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "support/bytes.h"
#include "support/file_io.h"

namespace vorlan::mapwright {

namespace {

int InRange(int v, int lo, int hi, int fallback) { return v < lo || v > hi ? fallback : v; }

}  // namespace

std::vector<uint8_t> EncodeSettings(const Settings& s) {
  std::vector<uint8_t> out;
  support::ByteWriter w(out);
  w.U32(kConfigVersion);
  w.F32(s.texels);
  w.U32(s.lineColor);
  w.U32(s.vertexColor);
  w.U32(s.backgroundColor);
  w.I32(s.method);
  w.I32(s.planarAxis);
  w.I32(s.windowLeft);
  w.I32(s.windowTop);
  w.I32(s.numberOfBackups);
  w.I32(s.createBackups ? 1 : 0);
  w.I32(s.windowWidth);
  w.I32(s.windowHeight);
  return out;
}

SettingsRead DecodeSettings(std::span<const uint8_t> file, Settings& s) {
  support::ByteReader r(file);
  auto version = r.U32();
  if (!version || *version != kConfigVersion || file.size() < kConfigBytes) return SettingsRead::OtherVersion;
  Settings d;  // defaults for values out of range
  Settings v;
  v.texels = *r.F32();
  v.lineColor = *r.U32();
  v.vertexColor = *r.U32();
  v.backgroundColor = *r.U32();
  v.method = InRange(*r.I32(), 0, 2, d.method);
  v.planarAxis = InRange(*r.I32(), 0, 2, d.planarAxis);
  v.windowLeft = *r.I32();
  v.windowTop = *r.I32();
  v.numberOfBackups = std::clamp(*r.I32(), 0, kMaxBackups);
  v.createBackups = *r.I32() != 0;
  v.windowWidth = std::max(*r.I32(), kMinWindowWidth);
  v.windowHeight = std::max(*r.I32(), kMinWindowHeight);
  if (!std::isfinite(v.texels) || v.texels == 0.0f) v.texels = d.texels;
  v.showInvisibleEdges = s.showInvisibleEdges;
  s = v;
  return SettingsRead::Ok;
}

std::string SettingsPath(const host::Interface& ip) {
  return support::NativePath(ip.GetPlugCfgDir() + "\\" + kConfigFileName);
}

Settings LoadSettings(host::Interface& ip) {
  Settings s;
  std::string path = SettingsPath(ip);
  if (!support::FileExists(path)) SaveSettings(ip, s);
  std::vector<uint8_t> bytes;
  if (!support::ReadWholeFile(path, bytes, 1 << 20)) return s;
  if (DecodeSettings(bytes, s) == SettingsRead::OtherVersion) {
    ip.UI().MessageBox({.text = "Unknown version of Mapwright.cfg file has been found.\nSetting to defaults.",
                        .caption = "Info",
                        .icon = host::Icon::Information});
    s = Settings{};
    SaveSettings(ip, s);
  }
  return s;
}

bool SaveSettings(const host::Interface& ip, const Settings& s) {
  return bool(support::WriteFileAtomic(SettingsPath(ip), EncodeSettings(s)));
}

host::DialogModel OptionsDialog(const Settings& s) {
  using host::ControlKind;
  host::DialogModel m;
  m.title = "Options";
  m.controls = {
      {.id = kOptionsEdgesGroup, .kind = ControlKind::Group, .label = " Edges "},
      {.id = kOptionsShowInvisibleEdges,
       .kind = ControlKind::CheckBox,
       .label = "Show invisible edges",
       .value = s.showInvisibleEdges},
      {.id = kOptionsSavingGroup, .kind = ControlKind::Group, .label = " Bitmap saving "},
      {.id = kOptionsCreateBackups,
       .kind = ControlKind::CheckBox,
       .label = "Create backup files",
       .value = s.createBackups},
      {.id = kOptionsBackupsLabel, .kind = ControlKind::Static, .label = "Number of backups:"},
      {.id = kOptionsNumberOfBackups,
       .kind = ControlKind::Edit,
       .text = std::to_string(s.numberOfBackups),
       .enabled = s.createBackups},
      {.id = kOptionsOk, .kind = ControlKind::Button, .label = "OK"},
      {.id = kOptionsCancel, .kind = ControlKind::Button, .label = "Cancel"},
  };
  return m;
}

bool RunOptionsDialog(host::UserInterface& ui, Settings& s) {
  host::DialogModel m = OptionsDialog(s);
  if (ui.RunModal(m) != kOptionsOk) return false;
  s.showInvisibleEdges = m.Find(kOptionsShowInvisibleEdges)->value != 0;
  s.createBackups = m.Find(kOptionsCreateBackups)->value != 0;
  const std::string& text = m.Find(kOptionsNumberOfBackups)->text;
  int n = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec == std::errc() && end != text.data()) s.numberOfBackups = std::clamp(n, 0, kMaxBackups);
  return true;
}

}  // namespace vorlan::mapwright
