#include "keyexport/key_exporter.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "keyimport/manm.h"
#include "support/atomic_file.h"
#include "support/bytes.h"
#include "support/file_io.h"

namespace vorlan::keyexport {

using host::ControlKind;

const host::StringTable& KeyExportStrings() {
  static const host::StringTable strings{
      {host::IDS_LIBDESCRIPTION, "Vorlan animation exporter (.manm)"},
      {host::IDS_CLASS_NAME, "KeyExport"},
      {host::IDS_CATEGORY, ""},
      {host::IDS_EXT, "manm"},
      {host::IDS_SHORT_DESC, "VEXN Animation"},
      {host::IDS_LONG_DESC, "Animation Format, Version 0.1 for use with 3D Studio MAX R4"},
      {host::IDS_AUTHOR, "Vorlan pipeline team"},
      {host::IDS_COPYRIGHT, "Copyright (c) Vorlan pipeline team"},
  };
  return strings;
}

bool KeyExporter::SupportsOptions(int, uint32_t options) { return (options & host::kExportSelected) != 0; }

bool SaveConfig(const std::string& path, const ExportChoice& choice) {
  std::vector<uint8_t> bytes;
  support::ByteWriter w(bytes);
  w.U32(kConfigVersion);
  w.U8(choice.selectedOnly ? 1 : 0);
  w.U8(choice.hierarchy ? 1 : 0);
  return support::WriteFileAtomic(path, bytes).ok;
}

ConfigStatus LoadConfig(const std::string& path, ExportChoice& choice) {
  if (!support::FileExists(path)) SaveConfig(path, choice);
  std::vector<uint8_t> bytes;
  if (!support::ReadWholeFile(path, bytes, 4096)) return ConfigStatus::Refused;
  support::ByteReader r(bytes);
  auto version = r.U32();
  auto selected = r.U8();
  auto hierarchy = r.U8();
  if (!version || !selected || !hierarchy || *version >= 2) return ConfigStatus::Refused;
  choice.selectedOnly = *selected != 0;
  choice.hierarchy = *hierarchy != 0;
  return ConfigStatus::Ok;
}

bool RunOptionsDialog(host::Interface& ip, ExportChoice& choice) {
  host::DialogModel d;
  d.title = "KeyExport";
  d.controls = {
      {.id = IDC_SELECTED_ONLY,
       .kind = ControlKind::CheckBox,
       .label = "Export selected only",
       .value = choice.selectedOnly},
      {.id = IDC_HIERARCHY,
       .kind = ControlKind::CheckBox,
       .label = "Export hierarchy",
       .value = choice.hierarchy,
       .enabled = choice.selectedOnly},
      {.id = IDC_OK, .kind = ControlKind::Button, .label = "OK"},
      {.id = IDC_CANCEL, .kind = ControlKind::Button, .label = "Cancel"},
  };
  if (ip.UI().RunModal(d) != IDC_OK) return false;
  if (const host::DialogControl* c = d.Find(IDC_SELECTED_ONLY)) choice.selectedOnly = c->value != 0;
  if (const host::DialogControl* c = d.Find(IDC_HIERARCHY)) choice.hierarchy = c->value != 0;
  return true;
}

namespace {

// The file name with the text after its last '.' in lower case; folders keep their case.
std::string LowerCaseExtension(std::string path) {
  std::size_t slash = path.find_last_of("\\/");
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  std::transform(path.begin() + static_cast<std::ptrdiff_t>(dot), path.end(),
                 path.begin() + static_cast<std::ptrdiff_t>(dot),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return path;
}

}  // namespace

int KeyExporter::DoExport(const char* name, host::Interface& ip, bool suppressPrompts, uint32_t options) {
  try {
    return Export(name ? name : "", ip, suppressPrompts, options);
  } catch (const std::exception& e) {
    ip.UI().MessageBox(
        {std::string("The export failed: ") + e.what(), "Error", host::Buttons::Ok, host::Icon::Error});
  } catch (...) {
    ip.UI().MessageBox({"The export failed.", "Error", host::Buttons::Ok, host::Icon::Error});
  }
  return 0;
}

bool WriteManm(host::Interface& ip, const ExportChoice& choice,
               const std::function<bool(std::span<const uint8_t>)>& sink) {
  host::Node* root = ip.GetRootNode();
  uint32_t count = 0;
  if (root) WalkChosenNodes(*root, choice, [&](host::Node&) { return ++count, true; });

  std::vector<uint8_t> bytes;
  support::ByteWriter w(bytes);
  manm::WriteHeader(w, {manm::kVersion, count, 0});
  if (!sink(bytes)) return false;
  bool complete = true;
  if (root) {
    WalkChosenNodes(*root, choice, [&](host::Node& node) {
      if (ip.GetCancel()) return complete = false;
      bytes.clear();
      if (!WriteNodeRecord(ip, node, bytes)) return complete = false;
      return complete = sink(bytes);
    });
  }
  return complete;
}

int KeyExporter::Export(const std::string& fileName, host::Interface& ip, bool suppressPrompts,
                        uint32_t options) {
  const std::string cfg = support::NativePath(ip.GetPlugCfgDir() + "\\" + kConfigFileName);
  if (LoadConfig(cfg, choice_) != ConfigStatus::Ok) return 0;
  if (!choice_.selectedOnly && (options & host::kExportSelected)) choice_.selectedOnly = true;
  if (!suppressPrompts && !RunOptionsDialog(ip, choice_)) return 1;

  // The file is built beside its target and replaces it only when complete, so a failed
  // or cancelled export leaves the previous file in place.
  support::AtomicFile file;
  if (!file.Open(support::NativePath(LowerCaseExtension(fileName)))) return 0;
  bool written = WriteManm(ip, choice_, [&](std::span<const uint8_t> b) { return file.Write(b); });
  bool ok = written && file.Commit();
  if (!written) file.Abandon();
  SaveConfig(cfg, choice_);
  return ok || ip.GetCancel() ? 1 : 0;
}

}  // namespace vorlan::keyexport
