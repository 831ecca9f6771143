#include "kitexport/kit_config.h"

#include <cstdio>

#include "support/bytes.h"
#include "support/file_io.h"

namespace vorlan::kitexport {

namespace {
// Far more than three 260-byte paths; a bigger file is not ours.
constexpr std::size_t kMaxConfigBytes = 64 * 1024;
}  // namespace

std::vector<uint8_t> EncodeKitConfig(const KitSettings& s) {
  std::vector<uint8_t> out;
  support::ByteWriter w(out);
  w.I32(kKitConfigVersion);
  w.I32(s.generateIndex ? 1 : 0);
  w.I32(s.rewrite ? 1 : 0);
  w.CString(WithBackslash(s.enginePath));
  w.CString(WithBackslash(s.zefPath));
  w.CString(WithBackslash(s.exportPath));
  return out;
}

KitConfigStatus DecodeKitConfig(std::span<const uint8_t> bytes, KitSettings& settings) {
  support::ByteReader r(bytes);
  auto version = r.I32();
  if (version && *version != kKitConfigVersion) return KitConfigStatus::OtherVersion;
  auto index = r.I32(), rewrite = r.I32();
  auto engine = r.CString(), zef = r.CString(), exp = r.CString();
  if (!version || !index || !rewrite || !engine || !zef || !exp) {
    settings = {};
    return KitConfigStatus::Damaged;
  }
  settings.generateIndex = *index != 0;
  settings.rewrite = *rewrite != 0;
  settings.enginePath = *engine;
  settings.zefPath = *zef;
  settings.exportPath = *exp;
  return KitConfigStatus::Ok;
}

std::string KitConfigPath(const std::string& plugCfgDir) { return plugCfgDir + "\\" + kKitConfigFileName; }

bool SaveKitConfig(const std::string& nativePath, const KitSettings& settings) {
  return support::WriteFileAtomic(nativePath, EncodeKitConfig(settings)).ok;
}

KitSettings LoadKitConfig(const std::string& nativePath, const KitSettings& current) {
  if (!support::FileExists(nativePath)) SaveKitConfig(nativePath, current);
  KitSettings loaded;
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::vector<uint8_t> bytes;
    if (!support::ReadWholeFile(nativePath, bytes, kMaxConfigBytes)) return {};
    if (DecodeKitConfig(bytes, loaded) != KitConfigStatus::OtherVersion) return loaded;
    std::remove(nativePath.c_str());
    SaveKitConfig(nativePath, current);
  }
  return {};
}

}  // namespace vorlan::kitexport
