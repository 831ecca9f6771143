#include <algorithm>
#include <charconv>
#include <cmath>

#include "interchange/export_parts.h"

namespace vorlan::workbench::interchange {

using nlohmann::json;

namespace {

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return std::string(s.substr(b, e - b));
}

json ValueOf(const std::string& text) {
  if (text == "true") return true;
  if (text == "false") return false;
  if (!text.empty()) {
    int64_t i = 0;
    auto ri = std::from_chars(text.data(), text.data() + text.size(), i);
    if (ri.ec == std::errc() && ri.ptr == text.data() + text.size()) return i;
    double d = 0;
    auto rd = std::from_chars(text.data(), text.data() + text.size(), d);
    if (rd.ec == std::errc() && rd.ptr == text.data() + text.size() && std::isfinite(d)) return d;
  }
  return text;
}

}  // namespace

json ExtrasFromUserProps(const std::string& text) {
  json out = json::object();
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + start, end - start);
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      const std::string key = Trim(line);
      if (!key.empty()) out[key] = true;
    } else {
      const std::string key = Trim(line.substr(0, eq));
      if (!key.empty()) out[key] = ValueOf(Trim(line.substr(eq + 1)));
    }
    start = end + 1;
  }
  return out;
}

}  // namespace vorlan::workbench::interchange
