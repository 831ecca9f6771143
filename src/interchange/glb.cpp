#include "interchange/glb.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "support/bytes.h"

namespace vorlan::workbench::interchange {

namespace {

constexpr uint32_t kGlbVersion = 2;
constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kChunkHeadSize = 8;

std::size_t Padded(std::size_t n) { return (n + 3) & ~std::size_t(3); }

bool Fail(std::string& error, std::string text) {
  error = std::move(text);
  return false;
}

}  // namespace

bool SplitGlb(std::span<const uint8_t> file, GlbParts& out, std::string& error) {
  out = {};
  support::ByteReader r(file);
  auto magic = r.U32(), version = r.U32(), length = r.U32();
  if (!magic || *magic != kGlbMagic) return Fail(error, "not a GLB file");
  if (!version || *version != kGlbVersion) return Fail(error, "GLB version is not 2");
  if (!length || *length > file.size() || *length < kHeaderSize)
    return Fail(error, "GLB length does not fit the file");
  // Chunks are read within the length the header gives; bytes past it are ignored.
  support::ByteReader body(file.first(*length));
  body.Seek(kHeaderSize);
  bool first = true;
  while (body.Remaining() >= kChunkHeadSize) {
    auto size = body.U32(), type = body.U32();
    if (!size || !type || *size > body.Remaining()) return Fail(error, "GLB chunk runs past the file");
    const auto* data = file.data() + body.Pos();
    if (first) {
      if (*type != kGlbChunkJson) return Fail(error, "the first GLB chunk is not JSON");
      out.json.assign(reinterpret_cast<const char*>(data), *size);
    } else if (*type == kGlbChunkBin && !out.hasBin) {
      out.bin.assign(data, data + *size);
      out.hasBin = true;
    }
    first = false;
    body.Skip(*size);
  }
  if (first) return Fail(error, "GLB has no JSON chunk");
  return true;
}

std::vector<uint8_t> JoinGlb(const std::string& json, std::span<const uint8_t> bin, bool hasBin) {
  const std::size_t jsonSize = Padded(json.size());
  const std::size_t binSize = hasBin ? Padded(bin.size()) : 0;
  const std::size_t total = kHeaderSize + kChunkHeadSize + jsonSize + (hasBin ? kChunkHeadSize + binSize : 0);
  std::vector<uint8_t> out;
  out.reserve(total);
  support::ByteWriter w(out);
  w.U32(kGlbMagic);
  w.U32(kGlbVersion);
  w.U32(static_cast<uint32_t>(total));
  w.U32(static_cast<uint32_t>(jsonSize));
  w.U32(kGlbChunkJson);
  w.Bytes(json.data(), json.size());
  out.insert(out.end(), jsonSize - json.size(), ' ');
  if (hasBin) {
    w.U32(static_cast<uint32_t>(binSize));
    w.U32(kGlbChunkBin);
    w.Bytes(bin);
    w.Zeros(binSize - bin.size());
  }
  return out;
}

std::optional<std::string> GltfJsonText(std::span<const uint8_t> file) {
  if (file.size() >= 4 && support::LoadU32(file.data()) == kGlbMagic) {
    GlbParts parts;
    std::string error;
    if (!SplitGlb(file, parts, error)) return std::nullopt;
    return std::move(parts.json);
  }
  // A .gltf file is JSON text: it starts with an object, after optional white space or a
  // byte-order mark.
  std::size_t i = 0;
  if (file.size() >= 3 && file[0] == 0xEF && file[1] == 0xBB && file[2] == 0xBF) i = 3;
  while (i < file.size() && (file[i] == ' ' || file[i] == '\t' || file[i] == '\r' || file[i] == '\n')) ++i;
  if (i >= file.size() || file[i] != '{') return std::nullopt;
  return std::string(reinterpret_cast<const char*>(file.data()), file.size());
}

std::vector<GltfUvSets> GltfMeshesOverUvLimit(std::span<const uint8_t> file, int limit) {
  std::vector<GltfUvSets> out;
  auto text = GltfJsonText(file);
  if (!text) return out;
  const nlohmann::json doc = nlohmann::json::parse(*text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) return out;
  auto meshes = doc.find("meshes");
  if (meshes == doc.end() || !meshes->is_array()) return out;
  for (std::size_t i = 0; i < meshes->size(); ++i) {
    const auto& mesh = (*meshes)[i];
    if (!mesh.is_object()) continue;
    int most = 0;
    auto prims = mesh.find("primitives");
    if (prims != mesh.end() && prims->is_array()) {
      for (const auto& p : *prims) {
        if (!p.is_object()) continue;
        auto attrs = p.find("attributes");
        if (attrs == p.end() || !attrs->is_object()) continue;
        int sets = 0;
        for (auto it = attrs->begin(); it != attrs->end(); ++it) {
          const std::string& key = it.key();
          if (key.rfind("TEXCOORD_", 0) != 0 || key.size() == 9) continue;
          bool digits = true;
          for (std::size_t k = 9; k < key.size(); ++k) digits = digits && key[k] >= '0' && key[k] <= '9';
          sets += digits ? 1 : 0;
        }
        most = std::max(most, sets);
      }
    }
    if (most <= limit) continue;
    auto name = mesh.find("name");
    out.push_back({name != mesh.end() && name->is_string() ? name->get<std::string>()
                                                           : "meshes[" + std::to_string(i) + "]",
                   most});
  }
  return out;
}

}  // namespace vorlan::workbench::interchange
