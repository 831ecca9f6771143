#include "keyimport/key_importer.h"

#include <exception>

#include "keyimport/manm_reader.h"
#include "support/bytes.h"
#include "support/file_io.h"
#include "support/log.h"

namespace vorlan::keyimport {

const host::StringTable& KeyImportStrings() {
  static const host::StringTable strings{
      {host::IDS_LIBDESCRIPTION, "Vorlan animation importer (.manm)"},
      {host::IDS_CLASS_NAME, "KeyImport"},
      {host::IDS_CATEGORY, ""},
      {host::IDS_EXT, "manm"},
      {host::IDS_SHORT_DESC, "Manm Format"},
      {host::IDS_LONG_DESC, "Manm file format, version 0008 and above."},
      {host::IDS_AUTHOR, "Vorlan pipeline team"},
      {host::IDS_COPYRIGHT, "Copyright (c) Vorlan pipeline team"},
  };
  return strings;
}

bool SaveConfig(const std::string& path, const ImportConfig& config) {
  std::vector<uint8_t> bytes;
  support::ByteWriter w(bytes);
  w.U32(kConfigVersion);
  w.U8(config.option);
  std::string line = config.text.substr(0, kConfigTextMax);
  w.Bytes(line.data(), line.size());
  w.U8('\n');
  return support::WriteFileAtomic(path, bytes).ok;
}

ConfigStatus LoadConfig(const std::string& path, ImportConfig& config) {
  if (!support::FileExists(path)) SaveConfig(path, config);
  std::vector<uint8_t> bytes;
  if (!support::ReadWholeFile(path, bytes, 4096)) return ConfigStatus::Refused;
  support::ByteReader r(bytes);
  auto version = r.U32();
  if (!version || *version >= 2) return ConfigStatus::Refused;
  if (auto option = r.U8()) config.option = *option;
  std::string text;
  while (auto c = r.U8()) {
    if (*c == '\n' || *c == 0 || text.size() == kConfigTextMax) break;
    text.push_back(static_cast<char>(*c));
  }
  config.text = text;
  return ConfigStatus::Ok;
}

int KeyImporter::DoImport(const char* name, host::Interface& ip, bool) {
  try {
    return Import(name ? name : "", ip);
  } catch (const std::exception& e) {
    support::LogClose();
    ip.UI().MessageBox(
        {std::string("The import failed: ") + e.what(), "Error", host::Buttons::Ok, host::Icon::Error});
  } catch (...) {
    support::LogClose();
    ip.UI().MessageBox({"The import failed.", "Error", host::Buttons::Ok, host::Icon::Error});
  }
  return 0;
}

int KeyImporter::Import(const std::string& fileName, host::Interface& ip) {
  const std::string cfg = support::NativePath(ip.GetPlugCfgDir() + "\\" + kConfigFileName);
  if (LoadConfig(cfg, config_) != ConfigStatus::Ok) return 0;

  const std::string logPath = ip.MapHostPath("C:\\keyImport.log");
  support::LogParams params{logPath.c_str(), "Log for KeyImport:\n\n\n", support::kLogCreate,
                            support::kLogEnabled};
  support::LogOpen(&params);
  ip.ProgressStart("Importing Manm...", false);
  ip.ProgressUpdate(0);
  if (!heap_.InitMemMgr("KeyImport")) {
    ip.ProgressEnd();
    support::LogClose();
    return 1;
  }

  bool ok = false;
  {
    ManmBuffer buffer;
    if (buffer.Load(ip, support::NativePath(fileName))) {
      ok = ParseManm(ip, buffer);
    } else {
      ip.UI().MessageBox({"Can't load file!", "Error", host::Buttons::Ok, host::Icon::Error});
    }
  }

  heap_.ReleaseMemMgr();
  ip.ProgressUpdate(100);
  ip.ProgressEnd();
  if (ok)
    support::LogWriteLine("Import done.", support::LOG_INFO);
  else
    support::LogWriteLine("Import failed!", support::LOG_ERROR);
  support::LogClose();
  SaveConfig(cfg, config_);
  ip.RedrawViews();
  return 1;
}

}  // namespace vorlan::keyimport
