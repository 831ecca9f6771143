// "rigExp.cfg": a version word and three option bytes that the exporter keeps between
// exports. The export does not depend on them; they are carried so that a file written by
// another build of the exporter survives.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "host/interface.h"

namespace vorlan::rigexp {

inline constexpr const char* kRigConfigFileName = "rigExp.cfg";
inline constexpr uint32_t kRigConfigVersion = 1;

struct RigConfig {
  std::array<uint8_t, 3> options{1, 0, 25};
};

std::string RigConfigPath(const host::Interface& ip);
// A missing, short or newer file leaves the defaults.
RigConfig LoadRigConfig(const std::string& path);
bool SaveRigConfig(const std::string& path, const RigConfig& config);

}  // namespace vorlan::rigexp
