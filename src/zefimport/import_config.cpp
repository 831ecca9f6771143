#include "zefimport/import_config.h"

#include "support/bytes.h"
#include "support/file_io.h"

namespace vorlan::zefimport {

std::string ConfigPath(const host::Interface& ip) {
  return ip.MapHostPath(ip.GetPlugCfgDir() + "\\" + kConfigFileName);
}

bool SaveConfig(const std::string& path, const ImportSettings& s) {
  std::vector<uint8_t> bytes;
  support::ByteWriter w(bytes);
  w.U32(kConfigFormat);
  w.U8(s.newScene ? 1 : 0);
  const std::string folder = s.searchFolder.substr(0, kMaxSearchFolder);
  w.Bytes(folder.data(), folder.size());
  return support::WriteFileAtomic(path, bytes).ok;
}

ConfigStatus LoadConfig(const std::string& path, ImportSettings& s) {
  if (!support::FileExists(path)) SaveConfig(path, ImportSettings{});
  std::vector<uint8_t> bytes;
  if (!support::ReadWholeFile(path, bytes, 1 << 16)) return ConfigStatus::kUnreadable;
  support::ByteReader r(bytes);
  auto format = r.U32();
  if (!format) return ConfigStatus::kUnreadable;
  if (*format >= 2) return ConfigStatus::kNewerFormat;
  if (auto b = r.U8()) s.newScene = *b != 0;
  std::string folder;
  while (auto c = r.U8()) {
    if (*c == '\n' || *c == '\r' || *c == 0 || folder.size() == kMaxSearchFolder) break;
    folder.push_back(static_cast<char>(*c));
  }
  s.searchFolder = folder;
  return ConfigStatus::kOk;
}

}  // namespace vorlan::zefimport
