#include "interchange/gltf_builder.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "support/bytes.h"

namespace vorlan::workbench::interchange {

using nlohmann::json;
using support::ByteWriter;

namespace {

constexpr uint32_t kGlbMagic = 0x46546C67;      // "glTF"
constexpr uint32_t kGlbChunkJson = 0x4E4F534A;  // "JSON"
constexpr uint32_t kGlbChunkBin = 0x004E4942;   // "BIN\0"

const char* TypeName(int components) {
  switch (components) {
    case 1:
      return "SCALAR";
    case 2:
      return "VEC2";
    case 3:
      return "VEC3";
    case 16:
      return "MAT4";
    default:
      return "VEC4";
  }
}

std::size_t Pad4(std::size_t n) { return (n + 3) & ~std::size_t(3); }

}  // namespace

GltfBuilder::GltfBuilder() { doc_["asset"] = {{"version", "2.0"}, {"generator", "vorlan"}}; }

void GltfBuilder::Align4() { bin_.Resize(Pad4(bin_.size())); }

int GltfBuilder::View(std::size_t offset, std::size_t length, int target) {
  json v = {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", length}};
  if (target) v["target"] = target;
  return Append("bufferViews", std::move(v));
}

int GltfBuilder::FloatAccessor(std::span<const float> values, int components, bool minMax, int target) {
  Align4();
  const std::size_t offset = bin_.size();
  const std::size_t count = values.size() / static_cast<std::size_t>(components);
  bin_.Resize(offset + values.size() * 4);
  uint8_t* p = bin_.data() + offset;
  for (std::size_t i = 0; i < values.size(); ++i) ByteWriter::StoreF32(p + 4 * i, values[i]);
  json a = {{"bufferView", View(offset, values.size() * 4, target)},
            {"componentType", kGltfFloat},
            {"count", count},
            {"type", TypeName(components)}};
  if (minMax && count > 0) {
    std::vector<float> lo(static_cast<std::size_t>(components), std::numeric_limits<float>::max());
    std::vector<float> hi(static_cast<std::size_t>(components), std::numeric_limits<float>::lowest());
    for (std::size_t i = 0; i < values.size(); ++i) {
      const std::size_t c = i % static_cast<std::size_t>(components);
      lo[c] = std::min(lo[c], values[i]);
      hi[c] = std::max(hi[c], values[i]);
    }
    a["min"] = lo;
    a["max"] = hi;
  }
  return Append("accessors", std::move(a));
}

int GltfBuilder::UnsignedAccessor(std::span<const uint16_t> values, int components, int componentType) {
  Align4();
  const std::size_t offset = bin_.size();
  const std::size_t size = componentType == kGltfUnsignedByte ? 1 : 2;
  bin_.Resize(offset + values.size() * size);
  uint8_t* p = bin_.data() + offset;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (size == 1)
      p[i] = static_cast<uint8_t>(values[i]);
    else
      ByteWriter::StoreU16(p + 2 * i, values[i]);
  }
  return Append("accessors", {{"bufferView", View(offset, values.size() * size, kGltfArrayBuffer)},
                              {"componentType", componentType},
                              {"count", values.size() / static_cast<std::size_t>(components)},
                              {"type", TypeName(components)}});
}

int GltfBuilder::IndexAccessor(std::span<const uint32_t> indices) {
  Align4();
  const std::size_t offset = bin_.size();
  bin_.Resize(offset + indices.size() * 4);
  uint8_t* p = bin_.data() + offset;
  for (std::size_t i = 0; i < indices.size(); ++i) ByteWriter::StoreU32(p + 4 * i, indices[i]);
  return Append("accessors", {{"bufferView", View(offset, indices.size() * 4, kGltfElementArrayBuffer)},
                              {"componentType", kGltfUnsignedInt},
                              {"count", indices.size()},
                              {"type", "SCALAR"}});
}

int GltfBuilder::ImageView(std::span<const uint8_t> bytes) {
  Align4();
  const std::size_t offset = bin_.size();
  bin_.Append(bytes);
  return View(offset, bytes.size(), 0);
}

int GltfBuilder::Append(const char* key, json item) {
  json& list = doc_[key];
  if (!list.is_array()) list = json::array();
  list.push_back(std::move(item));
  return static_cast<int>(list.size() - 1);
}

void GltfBuilder::UseExtension(const std::string& name, bool required) {
  for (const char* key : {"extensionsUsed", "extensionsRequired"}) {
    if (key[9] == 'R' && !required) continue;
    json& list = doc_[key];
    if (!list.is_array()) list = json::array();
    if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
  }
}

std::string GltfBuilder::Finish() {
  if (!finished_) {
    finished_ = true;
    Align4();
    if (!bin_.empty()) doc_["buffers"] = json::array({{{"byteLength", bin_.size()}}});
    text_ = doc_.dump();
    text_.resize(Pad4(text_.size()), ' ');
  }
  return text_;
}

std::vector<uint8_t> GltfBuilder::Glb() {
  const std::string text = Finish();
  std::vector<uint8_t> out;
  out.reserve(28 + text.size() + bin_.size());
  ByteWriter w(out);
  w.U32(kGlbMagic);
  w.U32(2);
  w.U32(static_cast<uint32_t>(12 + 8 + text.size() + (bin_.empty() ? 0 : 8 + bin_.size())));
  w.U32(static_cast<uint32_t>(text.size()));
  w.U32(kGlbChunkJson);
  w.Bytes(text.data(), text.size());
  if (!bin_.empty()) {
    w.U32(static_cast<uint32_t>(bin_.size()));
    w.U32(kGlbChunkBin);
    w.Bytes(bin_.Bytes());
  }
  return out;
}

bool GltfBuilder::WriteGlb(support::AtomicFileWriter& out) {
  const std::string text = Finish();
  std::vector<uint8_t> head;
  ByteWriter w(head);
  w.U32(kGlbMagic);
  w.U32(2);
  w.U32(static_cast<uint32_t>(12 + 8 + text.size() + (bin_.empty() ? 0 : 8 + bin_.size())));
  w.U32(static_cast<uint32_t>(text.size()));
  w.U32(kGlbChunkJson);
  w.Bytes(text.data(), text.size());
  if (!bin_.empty()) {
    w.U32(static_cast<uint32_t>(bin_.size()));
    w.U32(kGlbChunkBin);
  }
  return out.Write(head) && out.Write(bin_.Bytes());
}

}  // namespace vorlan::workbench::interchange
