#include "interchange/gltf_animation.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>

#include "interchange/glb.h"
#include "support/bytes.h"
#include "support/file_io.h"

namespace vorlan::workbench::interchange {

using nlohmann::json;

namespace {

// Buffers larger than this are not read for animation data.
constexpr std::size_t kMaxBufferBytes = std::size_t(1) << 30;

const json* Member(const json& j, const char* key) {
  if (!j.is_object()) return nullptr;
  auto it = j.find(key);
  return it == j.end() ? nullptr : &*it;
}

// A non-negative integer member, or `fallback` when it is absent; nullopt when it is there
// but not such a number.
std::optional<uint64_t> Index(const json& j, const char* key,
                              std::optional<uint64_t> fallback = std::nullopt) {
  const json* m = Member(j, key);
  if (!m) return fallback;
  if (m->is_number_unsigned()) return m->get<uint64_t>();
  if (m->is_number_integer() && m->get<int64_t>() >= 0) return static_cast<uint64_t>(m->get<int64_t>());
  return std::nullopt;
}

std::string Text(const json& j, const char* key) {
  const json* m = Member(j, key);
  return m && m->is_string() ? m->get<std::string>() : std::string();
}

const json* Element(const json& doc, const char* array, uint64_t i) {
  const json* a = Member(doc, array);
  if (!a || !a->is_array() || i >= a->size()) return nullptr;
  return &(*a)[static_cast<std::size_t>(i)];
}

int Base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+' || c == '-') return 62;
  if (c == '/' || c == '_') return 63;
  return -1;
}

std::vector<uint8_t> DecodeBase64(std::string_view text) {
  std::vector<uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    const int d = Base64Digit(c);
    if (d < 0) continue;  // padding and line breaks
    acc = (acc << 6) | static_cast<uint32_t>(d);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<uint8_t>(acc >> bits));
    }
  }
  return out;
}

std::string PercentDecoded(const std::string& uri) {
  std::string out;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && std::isxdigit(static_cast<unsigned char>(uri[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(uri[i + 2]))) {
      out += static_cast<char>(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += uri[i];
    }
  }
  return out;
}

class Reader {
 public:
  Reader(const json& doc, std::vector<uint8_t> glbBin, bool hasBin, std::string folder)
      : doc_(doc), glbBin_(std::move(glbBin)), hasBin_(hasBin), folder_(std::move(folder)) {}

  // The floats of an accessor, `components` per element; empty with `why` on failure.
  bool Floats(uint64_t index, int components, std::vector<float>& out, std::string& why) {
    const json* a = Element(doc_, "accessors", index);
    if (!a) return Fail(why, "accessor " + std::to_string(index) + " does not exist");
    if (Member(*a, "sparse")) return Fail(why, "sparse accessors are not read");
    static const std::map<std::string, int> kTypes = {{"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4}};
    auto type = kTypes.find(Text(*a, "type"));
    if (type == kTypes.end() || type->second != components)
      return Fail(why, "accessor " + std::to_string(index) + " has the wrong type");
    auto count = Index(*a, "count"), kind = Index(*a, "componentType"), offset = Index(*a, "byteOffset", 0);
    if (!count || !kind || !offset) return Fail(why, "accessor " + std::to_string(index) + " is incomplete");
    const json* norm = Member(*a, "normalized");
    const bool normalized = norm && norm->is_boolean() && norm->get<bool>();
    int size = 0;
    switch (*kind) {
      case 5126:
        size = 4;
        break;
      case 5120:
      case 5121:
        size = normalized ? 1 : 0;
        break;
      case 5122:
      case 5123:
        size = normalized ? 2 : 0;
        break;
      default:
        break;
    }
    if (!size) return Fail(why, "accessor " + std::to_string(index) + " has an unusable component type");
    auto viewIndex = Index(*a, "bufferView");
    const json* view = viewIndex ? Element(doc_, "bufferViews", *viewIndex) : nullptr;
    if (!view) return Fail(why, "accessor " + std::to_string(index) + " has no buffer view");
    auto buffer = Index(*view, "buffer"), viewOffset = Index(*view, "byteOffset", 0),
         viewLength = Index(*view, "byteLength");
    const uint64_t element = uint64_t(size) * uint64_t(components);
    auto stride = Index(*view, "byteStride", element);
    if (!buffer || !viewOffset || !viewLength || !stride || *stride < element)
      return Fail(why, "buffer view " + std::to_string(*viewIndex) + " is unusable");
    const std::vector<uint8_t>* data = Buffer(*buffer, why);
    if (!data) return false;
    if (*viewOffset > data->size() || *viewLength > data->size() - *viewOffset)
      return Fail(why, "buffer view " + std::to_string(*viewIndex) + " runs past its buffer");
    if (*count == 0) return out.clear(), true;
    // The last element must end within the view; checked without overflow.
    if (*offset > *viewLength || *count - 1 > (*viewLength - *offset) / *stride ||
        (*count - 1) * *stride + element > *viewLength - *offset)
      return Fail(why, "accessor " + std::to_string(index) + " runs past its buffer view");
    const uint8_t* base = data->data() + *viewOffset + *offset;
    out.resize(static_cast<std::size_t>(*count) * static_cast<std::size_t>(components));
    for (uint64_t i = 0; i < *count; ++i)
      for (int c = 0; c < components; ++c)
        out[static_cast<std::size_t>(i) * static_cast<std::size_t>(components) +
            static_cast<std::size_t>(c)] =
            Component(base + i * *stride + uint64_t(c) * uint64_t(size), *kind);
    return true;
  }

 private:
  static bool Fail(std::string& why, std::string text) {
    why = std::move(text);
    return false;
  }

  static float Component(const uint8_t* p, uint64_t kind) {
    switch (kind) {
      case 5120:
        return std::max(static_cast<float>(static_cast<int8_t>(p[0])) / 127.0f, -1.0f);
      case 5121:
        return static_cast<float>(p[0]) / 255.0f;
      case 5122:
        return std::max(static_cast<float>(static_cast<int16_t>(support::LoadU16(p))) / 32767.0f, -1.0f);
      case 5123:
        return static_cast<float>(support::LoadU16(p)) / 65535.0f;
      default:
        return support::LoadF32(p);
    }
  }

  const std::vector<uint8_t>* Buffer(uint64_t index, std::string& why) {
    if (auto it = buffers_.find(index); it != buffers_.end()) {
      if (!it->second) Fail(why, "buffer " + std::to_string(index) + " cannot be read");
      return it->second ? &*it->second : nullptr;
    }
    std::optional<std::vector<uint8_t>>& slot = buffers_[index];
    const json* b = Element(doc_, "buffers", index);
    if (!b) return Fail(why, "buffer " + std::to_string(index) + " does not exist"), nullptr;
    const std::string uri = Text(*b, "uri");
    if (uri.empty()) {
      if (index == 0 && hasBin_) slot = glbBin_;
    } else if (uri.rfind("data:", 0) == 0) {
      const std::size_t comma = uri.find(',');
      if (comma != std::string::npos && uri.substr(0, comma).find(";base64") != std::string::npos)
        slot = DecodeBase64(std::string_view(uri).substr(comma + 1));
    } else {
      std::vector<uint8_t> bytes;
      const std::string path = folder_.empty() ? PercentDecoded(uri) : folder_ + "/" + PercentDecoded(uri);
      if (support::ReadWholeFile(path, bytes, kMaxBufferBytes)) slot = std::move(bytes);
    }
    if (!slot) return Fail(why, "buffer " + std::to_string(index) + " cannot be read"), nullptr;
    return &*slot;
  }

  const json& doc_;
  std::vector<uint8_t> glbBin_;
  bool hasBin_;
  std::string folder_;
  std::map<uint64_t, std::optional<std::vector<uint8_t>>> buffers_;
};

struct PathInfo {
  const char* name;
  GltfPath path;
  int components;
};
constexpr PathInfo kPaths[] = {{"translation", GltfPath::Translation, 3},
                               {"rotation", GltfPath::Rotation, 4},
                               {"scale", GltfPath::Scale, 3},
                               {"weights", GltfPath::Weights, 1}};

struct InterpolationInfo {
  const char* name;
  GltfInterpolation interpolation;
};
constexpr InterpolationInfo kInterpolations[] = {{"LINEAR", GltfInterpolation::Linear},
                                                 {"STEP", GltfInterpolation::Step},
                                                 {"CUBICSPLINE", GltfInterpolation::CubicSpline}};

// One channel; false with `why` when it cannot be used.
bool ReadChannel(const json& animation, const json& channel, Reader& reader, std::size_t nodeCount,
                 GltfTrack& t, std::string& why) {
  const json* target = Member(channel, "target");
  auto node = target ? Index(*target, "node") : std::nullopt;
  if (!node || *node >= nodeCount) return why = "it targets no node", false;
  t.node = static_cast<int>(*node);
  const std::string path = Text(*target, "path");
  const PathInfo* info = nullptr;
  for (const PathInfo& p : kPaths)
    if (path == p.name) info = &p;
  if (!info) return why = "it animates \"" + path + "\"", false;
  t.path = info->path;
  auto samplerIndex = Index(channel, "sampler");
  const json* samplers = Member(animation, "samplers");
  if (!samplerIndex || !samplers || !samplers->is_array() || *samplerIndex >= samplers->size())
    return why = "its sampler does not exist", false;
  const json& sampler = (*samplers)[static_cast<std::size_t>(*samplerIndex)];
  const std::string interpolation =
      Member(sampler, "interpolation") ? Text(sampler, "interpolation") : "LINEAR";
  bool known = false;
  for (const InterpolationInfo& i : kInterpolations)
    if (interpolation == i.name) t.interpolation = i.interpolation, known = true;
  if (!known) return why = "its interpolation \"" + interpolation + "\" is unknown", false;
  auto input = Index(sampler, "input"), output = Index(sampler, "output");
  if (!input || !output) return why = "its sampler has no input or output", false;
  if (!reader.Floats(*input, 1, t.times, why)) return false;
  t.components = info->components;
  if (t.path == GltfPath::Weights) {
    // Morph weights: as many per key as the mesh has targets; read as scalars.
    if (!reader.Floats(*output, 1, t.values, why)) return false;
    return true;
  }
  if (!reader.Floats(*output, info->components, t.values, why)) return false;
  const std::size_t perKey = (t.interpolation == GltfInterpolation::CubicSpline ? 3u : 1u) *
                             static_cast<std::size_t>(info->components);
  if (t.times.empty() || t.values.size() != t.times.size() * perKey)
    return why = "its input and output counts do not match", false;
  for (std::size_t i = 0; i < t.times.size(); ++i)
    if (!std::isfinite(t.times[i]) || (i > 0 && !(t.times[i] > t.times[i - 1])))
      return why = "its times do not increase", false;
  return true;
}

}  // namespace

bool ReadGltfAnimations(std::span<const uint8_t> bytes, const std::string& folder, GltfAnimationFile& out,
                        std::string& error) {
  out = {};
  GlbParts parts;
  std::string glbError;
  std::string text;
  if (SplitGlb(bytes, parts, glbError)) {
    text = std::move(parts.json);
  } else {
    text.assign(bytes.begin(), bytes.end());
  }
  const json doc = json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) {
    error = "the glTF JSON cannot be read";
    return false;
  }
  const json* nodes = Member(doc, "nodes");
  const std::size_t nodeCount = nodes && nodes->is_array() ? nodes->size() : 0;
  out.children.resize(nodeCount);
  out.names.resize(nodeCount);
  for (std::size_t i = 0; i < nodeCount; ++i) {
    const json& n = (*nodes)[i];
    out.names[i] = Text(n, "name");
    if (const json* c = Member(n, "children"); c && c->is_array())
      for (const json& k : *c)
        if (k.is_number_integer() && k.get<int64_t>() >= 0 &&
            static_cast<uint64_t>(k.get<int64_t>()) < nodeCount)
          out.children[i].push_back(static_cast<int>(k.get<int64_t>()));
  }
  const uint64_t sceneIndex = Index(doc, "scene", 0).value_or(0);
  if (const json* scene = Element(doc, "scenes", sceneIndex))
    if (const json* r = Member(*scene, "nodes"); r && r->is_array())
      for (const json& k : *r)
        if (k.is_number_integer() && k.get<int64_t>() >= 0 &&
            static_cast<uint64_t>(k.get<int64_t>()) < nodeCount)
          out.roots.push_back(static_cast<int>(k.get<int64_t>()));

  Reader reader(doc, std::move(parts.bin), parts.hasBin, folder);
  const json* animations = Member(doc, "animations");
  if (!animations || !animations->is_array()) return true;
  for (std::size_t a = 0; a < animations->size(); ++a) {
    const json& animation = (*animations)[a];
    GltfClip clip;
    clip.name = Text(animation, "name");
    const std::string where = "animations[" + std::to_string(a) + "]";
    if (clip.name.empty()) clip.name = where;
    const json* channels = Member(animation, "channels");
    for (std::size_t c = 0; channels && channels->is_array() && c < channels->size(); ++c) {
      GltfTrack t;
      std::string why;
      if (ReadChannel(animation, (*channels)[c], reader, nodeCount, t, why))
        clip.tracks.push_back(std::move(t));
      else
        clip.problems.push_back(where + ".channels[" + std::to_string(c) + "]: " + why);
    }
    out.clips.push_back(std::move(clip));
  }
  return true;
}

}  // namespace vorlan::workbench::interchange
