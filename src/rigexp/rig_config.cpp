#include "rigexp/rig_config.h"

#include "support/bytes.h"
#include "support/file_io.h"

namespace vorlan::rigexp {

std::string RigConfigPath(const host::Interface& ip) {
  return support::NativePath(ip.GetPlugCfgDir() + "\\" + kRigConfigFileName);
}

RigConfig LoadRigConfig(const std::string& path) {
  RigConfig config;
  std::vector<uint8_t> bytes;
  if (!support::FileExists(path) || !support::ReadWholeFile(path, bytes, 4096)) return config;
  support::ByteReader r(bytes);
  auto version = r.U32();
  if (!version || *version > kRigConfigVersion) return config;
  RigConfig read;
  for (uint8_t& o : read.options) {
    auto b = r.U8();
    if (!b) return config;
    o = *b;
  }
  return read;
}

bool SaveRigConfig(const std::string& path, const RigConfig& config) {
  std::vector<uint8_t> bytes;
  support::ByteWriter w(bytes);
  w.U32(kRigConfigVersion);
  for (uint8_t o : config.options) w.U8(o);
  return support::WriteFileAtomic(path, bytes).ok;
}

}  // namespace vorlan::rigexp
