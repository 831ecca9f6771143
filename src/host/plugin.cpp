#include "host/plugin.h"

#include <cstring>

namespace vorlan::host {

const char* StringTable::Get(int id) const {
  static char buffer[256];
  auto it = entries_.find(id);
  const std::string& s = it == entries_.end() ? std::string() : it->second;
  std::size_t n = std::min(s.size(), sizeof buffer - 1);
  std::memcpy(buffer, s.data(), n);
  buffer[n] = '\0';
  return buffer;
}

void ShowAboutBox(Interface& ip, const StringTable& strings) {
  DialogModel about;
  about.title = std::string("About ") + strings.Get(IDS_CLASS_NAME);
  about.controls.push_back({.id = 1, .kind = ControlKind::Static, .label = strings.Get(IDS_LONG_DESC)});
  about.controls.push_back({.id = 2, .kind = ControlKind::Static, .label = strings.Get(IDS_COPYRIGHT)});
  about.controls.push_back({.id = 1001, .kind = ControlKind::Button, .label = "OK"});
  ip.UI().RunModal(about);
}

}  // namespace vorlan::host
