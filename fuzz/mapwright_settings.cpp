// Any bytes given to the configuration reader must end cleanly, and what it accepts must be
// settings a window can use, which write back and read again unchanged.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "mapwright/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorlan::mapwright;
  Settings s;
  if (DecodeSettings(std::span(data, size), s) != SettingsRead::Ok) return 0;
  if (s.method < 0 || s.method > 2 || s.planarAxis < 0 || s.planarAxis > 2 ||
      s.windowWidth < kMinWindowWidth || s.windowHeight < kMinWindowHeight || s.numberOfBackups < 0 ||
      s.numberOfBackups > kMaxBackups || !std::isfinite(s.texels) || s.texels == 0.0f)
    std::abort();
  Settings again;
  if (DecodeSettings(EncodeSettings(s), again) != SettingsRead::Ok || !(again == s)) std::abort();
  return 0;
}
