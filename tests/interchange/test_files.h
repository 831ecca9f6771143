// Small interchange files made by the tests themselves (glTF with its buffer inline, OBJ),
// a temporary folder, and readers of raw glTF data that do not go through Assimp.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "interchange/glb.h"
#include "support/bytes.h"
#include "support/file_io.h"

namespace vorlan::testing {

inline std::string AssetPath(const std::string& relative) {
  return std::string(VORLAN_ASSETS_DIR) + "/" + relative;
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/vorlan_ix_XXXXXX";
    if (char* p = ::mkdtemp(tmpl)) path_ = p;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> out;
  support::ReadWholeFile(path, out);
  return out;
}

inline std::string Base64(const std::vector<uint8_t>& in) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < in.size(); i += 3) {
    uint32_t v = uint32_t(in[i]) << 16;
    if (i + 1 < in.size()) v |= uint32_t(in[i + 1]) << 8;
    if (i + 2 < in.size()) v |= in[i + 2];
    out += digits[(v >> 18) & 63];
    out += digits[(v >> 12) & 63];
    out += i + 1 < in.size() ? digits[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? digits[v & 63] : '=';
  }
  return out;
}

// A glTF document whose one buffer is a data URI: accessors are appended, the caller fills
// in nodes, meshes and the rest of `doc`.
class GltfWriter {
 public:
  GltfWriter() {
    doc["asset"] = {{"version", "2.0"}};
    doc["scene"] = 0;
  }

  // Float accessor of `type` ("SCALAR", "VEC2", "VEC3"); positions get their bounds.
  int Floats(const std::vector<float>& values, const std::string& type) {
    const int comps = type == "VEC3" ? 3 : type == "VEC2" ? 2 : 1;
    const int view = View(values.data(), values.size() * 4);
    nlohmann::json a = {{"bufferView", view},
                        {"componentType", 5126},
                        {"count", values.size() / static_cast<std::size_t>(comps)},
                        {"type", type}};
    if (comps == 3) {
      std::vector<float> lo(3, 1e30f), hi(3, -1e30f);
      for (std::size_t i = 0; i < values.size(); ++i) {
        lo[i % 3] = std::min(lo[i % 3], values[i]);
        hi[i % 3] = std::max(hi[i % 3], values[i]);
      }
      a["min"] = lo;
      a["max"] = hi;
    }
    doc["accessors"].push_back(a);
    return static_cast<int>(doc["accessors"].size()) - 1;
  }

  int Indices(const std::vector<uint32_t>& values) {
    const int view = View(values.data(), values.size() * 4);
    doc["accessors"].push_back(
        {{"bufferView", view}, {"componentType", 5125}, {"count", values.size()}, {"type", "SCALAR"}});
    return static_cast<int>(doc["accessors"].size()) - 1;
  }

  std::string Text() {
    nlohmann::json d = doc;
    d["buffers"] = nlohmann::json::array(
        {{{"byteLength", bin_.size()}, {"uri", "data:application/octet-stream;base64," + Base64(bin_)}}});
    return d.dump();
  }

  nlohmann::json doc;

 private:
  int View(const void* data, std::size_t bytes) {
    const std::size_t offset = bin_.size();
    bin_.resize(offset + bytes);
    std::memcpy(bin_.data() + offset, data, bytes);
    doc["bufferViews"].push_back({{"buffer", 0}, {"byteOffset", offset}, {"byteLength", bytes}});
    return static_cast<int>(doc["bufferViews"].size()) - 1;
  }

  std::vector<uint8_t> bin_;
};

// The JSON and binary chunk of a GLB file, or of a .gltf file (no binary chunk).
struct RawGltf {
  nlohmann::json doc;
  std::vector<uint8_t> bin;
};

inline RawGltf ReadRawGltf(const std::string& path) {
  RawGltf out;
  std::vector<uint8_t> bytes = ReadBytes(path);
  workbench::interchange::GlbParts parts;
  std::string error;
  if (workbench::interchange::SplitGlb(bytes, parts, error)) {
    out.doc = nlohmann::json::parse(parts.json);
    out.bin = std::move(parts.bin);
  } else {
    out.doc = nlohmann::json::parse(bytes.begin(), bytes.end());
  }
  return out;
}

// The floats of a float accessor in the binary chunk, component after component.
inline std::vector<float> AccessorFloats(const RawGltf& g, int accessor) {
  const auto& a = g.doc["accessors"][accessor];
  const auto& v = g.doc["bufferViews"][a["bufferView"].get<int>()];
  const int comps = a["type"] == "VEC3"   ? 3
                    : a["type"] == "VEC2" ? 2
                    : a["type"] == "VEC4" ? 4
                    : a["type"] == "MAT4" ? 16
                                          : 1;
  const std::size_t count = a["count"].get<std::size_t>();
  const std::size_t stride = v.value("byteStride", comps * 4);
  const std::size_t base = v.value("byteOffset", 0) + a.value("byteOffset", 0);
  std::vector<float> out;
  for (std::size_t i = 0; i < count; ++i)
    for (int c = 0; c < comps; ++c) {
      const std::size_t at = base + i * stride + static_cast<std::size_t>(c) * 4;
      out.push_back(at + 4 <= g.bin.size() ? support::LoadF32(g.bin.data() + at) : 0.0f);
    }
  return out;
}

// The numbers of an unsigned byte or short accessor (JOINTS_0), component after component.
inline std::vector<uint32_t> AccessorUnsigned(const RawGltf& g, int accessor) {
  const auto& a = g.doc["accessors"][accessor];
  const auto& v = g.doc["bufferViews"][a["bufferView"].get<int>()];
  const int comps = a["type"] == "VEC4" ? 4 : a["type"] == "VEC3" ? 3 : a["type"] == "VEC2" ? 2 : 1;
  const std::size_t size = a["componentType"] == 5121 ? 1 : a["componentType"] == 5123 ? 2 : 4;
  const std::size_t count = a["count"].get<std::size_t>();
  const std::size_t stride = v.value("byteStride", comps * size);
  const std::size_t base = v.value("byteOffset", 0) + a.value("byteOffset", 0);
  std::vector<uint32_t> out;
  for (std::size_t i = 0; i < count; ++i)
    for (int c = 0; c < comps; ++c) {
      const std::size_t at = base + i * stride + static_cast<std::size_t>(c) * size;
      uint32_t value = 0;
      for (std::size_t b = 0; b < size && at + b < g.bin.size(); ++b)
        value |= uint32_t(g.bin[at + b]) << (8 * b);
      out.push_back(value);
    }
  return out;
}

}  // namespace vorlan::testing
