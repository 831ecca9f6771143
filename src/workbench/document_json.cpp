#include "workbench/document_json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace vorlan::workbench::docjson {

std::string At(const std::string& path, std::size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

std::string Key(const std::string& path, std::string_view key) {
  return path.empty() ? std::string(key) : path + "." + std::string(key);
}

void Fail(const std::string& path, const std::string& what) { throw DocumentError(path, what); }

void RefuseNulTexts(const Json& j, const std::string& path) {
  constexpr const char* kWhat = "a text holds a NUL character, which would cut it short";
  if (j.is_string()) {
    if (j.get_ref<const std::string&>().find('\0') != std::string::npos) Fail(path, kWhat);
  } else if (j.is_array()) {
    for (std::size_t i = 0; i < j.size(); ++i) RefuseNulTexts(j[i], At(path, i));
  } else if (j.is_object()) {
    for (auto it = j.begin(); it != j.end(); ++it) {
      if (it.key().find('\0') != std::string::npos)
        Fail(path.empty() ? std::string("(top level)") : path, kWhat);
      RefuseNulTexts(it.value(), Key(path, it.key()));
    }
  }
}

namespace {

const char* TypeName(const Json& j) {
  switch (j.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::object:
      return "an object";
    case Json::value_t::array:
      return "an array";
    case Json::value_t::string:
      return "a string";
    case Json::value_t::boolean:
      return "a boolean";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      return "a number";
    default:
      return "something else";
  }
}

[[noreturn]] void Expected(const Json& j, const std::string& path, const std::string& what) {
  Fail(path, "expected " + what + ", found " + TypeName(j));
}

}  // namespace

const Json& Object(const Json& j, const std::string& path) {
  if (!j.is_object()) Expected(j, path, "an object");
  return j;
}

const Json& Array(const Json& j, const std::string& path) {
  if (!j.is_array()) Expected(j, path, "an array");
  return j;
}

const Json& ArrayOf(const Json& j, const std::string& path, std::size_t n) {
  if (!j.is_array() || j.size() != n) {
    if (j.is_array())
      Fail(path, "expected an array of " + std::to_string(n) + " numbers, found " + std::to_string(j.size()) +
                     " entries");
    Expected(j, path, "an array of " + std::to_string(n) + " numbers");
  }
  return j;
}

std::string String(const Json& j, const std::string& path) {
  if (!j.is_string()) Expected(j, path, "a string");
  return j.get<std::string>();
}

bool Bool(const Json& j, const std::string& path) {
  if (j.is_boolean()) return j.get<bool>();
  if (j.is_number_integer() || j.is_number_unsigned()) {
    if (j == 0) return false;
    if (j == 1) return true;
  }
  Expected(j, path, "true, false, 0 or 1");
}

double Double(const Json& j, const std::string& path) {
  if (j.is_number()) return j.get<double>();
  if (j.is_string()) {
    const auto& s = j.get_ref<const std::string&>();
    if (s == "nan") return std::numeric_limits<double>::quiet_NaN();
    if (s == "inf") return std::numeric_limits<double>::infinity();
    if (s == "-inf") return -std::numeric_limits<double>::infinity();
  }
  Expected(j, path, "a number");
}

float Float(const Json& j, const std::string& path) {
  double d = Double(j, path);
  // Converting a finite double beyond the float range is undefined, so it is refused.
  if (std::isfinite(d) && std::fabs(d) > double(std::numeric_limits<float>::max()))
    Fail(path, "expected a number within the float range");
  return static_cast<float>(d);
}

int Int(const Json& j, const std::string& path) {
  if (j.is_number_integer()) {
    int64_t v = j.get<int64_t>();
    if (v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max())
      return static_cast<int>(v);
  } else if (j.is_number_unsigned()) {
    uint64_t v = j.get<uint64_t>();
    if (v <= uint64_t(std::numeric_limits<int>::max())) return static_cast<int>(v);
  } else {
    Expected(j, path, "an integer");
  }
  Fail(path, "expected an integer within the 32-bit range");
}

uint32_t U32(const Json& j, const std::string& path) {
  if (j.is_number_unsigned() || (j.is_number_integer() && j.get<int64_t>() >= 0)) {
    uint64_t v = j.get<uint64_t>();
    if (v <= 0xFFFFFFFFu) return static_cast<uint32_t>(v);
  } else if (j.is_string()) {
    const auto& s = j.get_ref<const std::string&>();
    if (s.size() > 2 && s.size() <= 10 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
      uint32_t v = 0;
      auto [end, ec] = std::from_chars(s.data() + 2, s.data() + s.size(), v, 16);
      if (ec == std::errc() && end == s.data() + s.size()) return v;
    }
  }
  Fail(path, "expected an unsigned 32-bit number or a hexadecimal text \"0x...\"");
}

uint32_t Index(const Json& j, const std::string& path, std::size_t limit, const char* table) {
  if (!j.is_number_integer() && !j.is_number_unsigned()) Expected(j, path, "an index");
  if (j.is_number_integer() && j.get<int64_t>() < 0) Fail(path, "expected an index, found a negative number");
  uint64_t v = j.get<uint64_t>();
  if (v >= limit)
    Fail(path, "index " + std::to_string(v) + " is past the " + std::to_string(limit) + " " + table);
  return static_cast<uint32_t>(v);
}

host::Point3 Point(const Json& j, const std::string& path) {
  ArrayOf(j, path, 3);
  return {Float(j[0], At(path, 0)), Float(j[1], At(path, 1)), Float(j[2], At(path, 2))};
}

host::ClassId ClassIdOf(const Json& j, const std::string& path) {
  if (!j.is_array() || j.size() != 2) Fail(path, "expected a class id [a, b]");
  return {U32(j[0], At(path, 0)), U32(j[1], At(path, 1))};
}

void OnlyKeys(const Json& object, const std::string& path, std::initializer_list<std::string_view> keys) {
  for (auto it = object.begin(); it != object.end(); ++it) {
    bool known = false;
    for (std::string_view k : keys) known = known || it.key() == k;
    if (!known) Fail(Key(path, it.key()), "unknown key");
  }
}

const Json* Find(const Json& object, std::string_view key) {
  auto it = object.find(std::string(key));
  return it == object.end() ? nullptr : &*it;
}

Json FloatJson(float f) {
  if (std::isnan(f)) return "nan";
  if (std::isinf(f)) return f > 0 ? "inf" : "-inf";
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, f);
  (void)ec;  // 32 characters always hold a float
  double d = 0;
  std::from_chars(buf, end, d);
  return d;
}

Json PointJson(host::Point3 p) { return Json::array({FloatJson(p.x), FloatJson(p.y), FloatJson(p.z)}); }

Json HexJson(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

Json ClassIdJson(host::ClassId id) { return Json::array({HexJson(id.a), HexJson(id.b)}); }

std::string ToHex(const std::vector<uint8_t>& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

namespace {

constexpr const char* kB64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int B64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string ToBase64(const std::vector<uint8_t>& bytes) {
  std::string s;
  s.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = uint32_t(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= uint32_t(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= bytes[i + 2];
    s += kB64[(v >> 18) & 63];
    s += kB64[(v >> 12) & 63];
    s += i + 1 < bytes.size() ? kB64[(v >> 6) & 63] : '=';
    s += i + 2 < bytes.size() ? kB64[v & 63] : '=';
  }
  return s;
}

bool FromHex(std::string_view text, std::vector<uint8_t>& out) {
  if (text.size() % 2) return false;
  out.clear();
  out.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  return true;
}

bool FromBase64(std::string_view text, std::vector<uint8_t>& out) {
  if (text.size() % 4) return false;
  out.clear();
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    bool last = i + 4 == text.size();
    int pad = 0;
    uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      char c = text[i + k];
      if (c == '=' && last && k >= 2) {
        ++pad;
        v <<= 6;
        continue;
      }
      int d = B64Digit(c);
      if (d < 0 || pad) return false;  // no data after padding
      v = (v << 6) | uint32_t(d);
    }
    out.push_back(static_cast<uint8_t>(v >> 16));
    if (pad < 2) out.push_back(static_cast<uint8_t>(v >> 8));
    if (pad < 1) out.push_back(static_cast<uint8_t>(v));
  }
  return true;
}

int NestingDepth(std::string_view text, int limit) {
  int depth = 0, deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
      if (deepest > limit) return deepest;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

bool ReadParamValue(ParamBlockImpl& pb, int param, int tab, const Json& v, const std::string& path) {
  switch (pb.Def(param).type) {
    case host::ParamType::Int:
      pb.SetInt(param, Int(v, path), tab);
      return true;
    case host::ParamType::Bool:
      pb.SetInt(param, Bool(v, path) ? 1 : 0, tab);
      return true;
    case host::ParamType::Float:
      pb.SetFloat(param, Float(v, path), tab);
      return true;
    case host::ParamType::String:
      pb.SetString(param, String(v, path), tab);
      return true;
    case host::ParamType::Colour:
    case host::ParamType::Point:
      pb.SetPoint(param, Point(v, path), tab);
      return true;
    case host::ParamType::Node:
      return false;
  }
  return false;
}

std::optional<Json> WriteParamValue(const ParamBlockImpl& pb, int param, int tab) {
  switch (pb.Def(param).type) {
    case host::ParamType::Int:
      return Json(pb.GetInt(param, 0, tab));
    case host::ParamType::Bool:
      return Json(pb.GetInt(param, 0, tab) != 0);
    case host::ParamType::Float:
      return FloatJson(pb.GetFloat(param, 0, tab));
    case host::ParamType::String:
      return Json(pb.GetString(param, 0, tab));
    case host::ParamType::Colour:
    case host::ParamType::Point:
      return PointJson(pb.GetPoint(param, 0, tab));
    case host::ParamType::Node:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace vorlan::workbench::docjson
