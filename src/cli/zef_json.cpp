#include "zef_json.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "zef/reader.h"

namespace vorlan::cli {

namespace {

using Json = nlohmann::ordered_json;

std::string Hex(uint32_t v, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*" PRIX32, digits, v);
  return text;
}

// Decoded numbers come formatted; whole numbers and plain decimals become JSON numbers again,
// everything else (vectors, hex, flags) stays text.
Json FieldValue(const zef::Field& f) {
  if (f.text || f.value.empty()) return f.value;
  const char* begin = f.value.c_str();
  char* end = nullptr;
  if (f.value.find_first_not_of("-0123456789") == std::string::npos) {
    long long v = std::strtoll(begin, &end, 10);
    if (end && *end == '\0') return v;
  }
  if (f.value.find_first_not_of("-0123456789.eE+") == std::string::npos) {
    double d = std::strtod(begin, &end);
    if (end && *end == '\0' && std::isfinite(d)) return d;
  }
  return f.value;
}

Json BlockJson(const zef::BlockInfo& b) {
  const char* name = zef::BlockName(b.id);
  Json j;
  j["id"] = Hex(b.id, 4);
  j["name"] = name ? name : "unknown";
  j["offset"] = b.offset;
  j["size"] = b.size;
  if (b.Truncated()) j["present"] = b.available;
  Json fields = Json::array();
  for (const zef::Field& f : b.fields) fields.push_back({{"key", f.key}, {"value", FieldValue(f)}});
  j["fields"] = std::move(fields);
  Json children = Json::array();
  for (const zef::BlockInfo& c : b.children) children.push_back(BlockJson(c));
  j["children"] = std::move(children);
  return j;
}

}  // namespace

Json ZefTreeJson(std::span<const uint8_t> bytes) {
  zef::ZefFile file;
  const zef::ZefResult result = zef::ParseZef(bytes, file);
  Json j;
  j["format"] = "zef";
  j["size"] = bytes.size();
  j["result"] = zef::ToString(result);
  Json header;
  header["version"] = Hex(file.version, 8);
  if (file.hasHostFields) {
    header["hostVersion"] = Hex(file.hostVersion, 8);
    header["nodeCount"] = file.nodeCount;
  }
  header["firstBlock"] = file.firstBlock;
  j["header"] = std::move(header);
  Json blocks = Json::array();
  for (const zef::BlockInfo& b : file.blocks) blocks.push_back(BlockJson(b));
  j["blocks"] = std::move(blocks);
  Json problems = Json::array();
  for (const std::string& p : file.problems) problems.push_back(p);
  if (result != zef::ZefResult::kNotZef && result != zef::ZefResult::kUnknownVersion)
    for (const std::string& f : zef::ValidateZef(bytes, file)) problems.push_back(f);
  j["problems"] = std::move(problems);
  return j;
}

}  // namespace vorlan::cli
