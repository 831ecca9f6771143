// Builds scene images the way the exporters do (heads first, sizes and counts patched when the
// content is complete), so that the flush and the reader can be tested without the exporter.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/bytes.h"
#include "zef/blocks.h"
#include "zef/flush.h"
#include "zef/progress.h"
#include "zef/scene_buffer.h"

namespace vorlan::zef::testing {

// A vertex as the exporter writes it: position, normal, then (u, v) pairs.
struct Vertex {
  float p[3] = {0, 0, 0};
  float n[3] = {0, 0, 1};
  std::vector<std::pair<float, float>> uv;
};

class ImageBuilder {
 public:
  SceneBuffer buf;

  void Header(uint32_t hostVersion = 0x2A00, uint32_t version = kVersion0100) {
    buf.U32(kMagic);
    buf.U32(version);
    buf.U32(hostVersion);
    buf.U32(0);  // node count, patched by SetNodeCount
    buf.SetOffset(kHeaderSize);
  }
  void SetNodeCount(uint32_t n) { buf.PatchU32(kHeaderNodeCountOffset, n); }

  uint32_t Info(std::string_view user, std::string_view comment, uint32_t triangles = 0) {
    uint32_t at = buf.Offset();
    buf.U32(kInfo);
    buf.U32(kInfoFixedSize + static_cast<uint32_t>(comment.size()) + 1);
    buf.U32(static_cast<uint32_t>(user.size()) + 1);
    buf.U32(static_cast<uint32_t>(comment.size()) + 1);
    buf.U32(triangles);
    buf.Bytes(user.data(), user.size());
    buf.Zeros(kInfoUserField - user.size());
    buf.CString(comment);
    return at;
  }

  uint32_t BeginNode(std::string_view name, uint32_t id = kNode) {
    uint32_t at = buf.Offset();
    buf.U32(id);
    buf.U32(0);
    buf.U32(0);
    buf.U32(static_cast<uint32_t>(name.size()) + 1);
    buf.CString(name);
    return at;
  }
  void EndNode(uint32_t at, uint32_t children) {
    buf.PatchU32(at + 4, buf.Offset() - at);
    buf.PatchU32(at + 8, children);
  }

  void MatList(const std::vector<std::vector<uint8_t>>& records = {}) {
    uint32_t at = buf.Offset();
    buf.U32(kMatList);
    buf.U32(0);
    buf.U32(static_cast<uint32_t>(records.size()));
    for (const auto& r : records) buf.Bytes(r);
    buf.PatchU32(at + 4, buf.Offset() - at);
  }

  uint32_t BeginGObj() {
    uint32_t at = buf.Offset();
    buf.U32(kGObj);
    buf.U32(0);
    buf.U32(0);
    return at;
  }
  void EndGObj(uint32_t at, uint32_t gblocks) {
    buf.PatchU32(at + 4, buf.Offset() - at);
    buf.PatchU32(at + 8, gblocks);
  }

  void Transform(host::Point3 position = {}) {
    host::Matrix3 m;
    m.SetTrans(position);
    Transform(m);
  }
  void Transform(const host::Matrix3& m) {
    buf.U32(kTransform);
    buf.U32(kTransformSize);
    buf.Point(m.GetTrans());
    buf.Point({0, 0, 0});
    buf.Point({1, 1, 1});
    buf.Matrix(m);
  }
  void UserProps(std::string_view text) {
    buf.U32(kUserProps);
    buf.U32(kUserPropsHeadSize + static_cast<uint32_t>(text.size()) + 1);
    buf.U32(static_cast<uint32_t>(text.size()) + 1);
    buf.CString(text);
  }
  void Instance(uint32_t number) {
    buf.U32(kInstance);
    buf.U32(kInstanceSize);
    buf.U32(number);
  }
  void Dummy(host::Point3 box) {
    buf.U32(kDummy);
    buf.U32(kDummySize);
    buf.Point(box);
  }
  // Any block given as its payload after the head.
  void Raw(uint32_t id, const std::vector<uint8_t>& payload) {
    buf.U32(id);
    buf.U32(kBlockHeadSize + static_cast<uint32_t>(payload.size()));
    buf.Bytes(payload);
  }

  // A GBlock of raw vertex bytes (count = bytes / stride) and corner indices.
  void GBlock(uint32_t material, uint32_t stride, uint32_t format, const std::vector<uint8_t>& vertexBytes,
              const std::vector<uint32_t>& indices) {
    uint32_t at = buf.Offset();
    uint32_t count = stride ? static_cast<uint32_t>(vertexBytes.size() / stride) : 0;
    buf.U32(kGBlock);
    buf.U32(0);
    buf.U32(material);
    buf.U32(kVertices);
    buf.U32(kVerticesHeadSize + static_cast<uint32_t>(vertexBytes.size()));
    buf.U32(count);
    buf.U32(stride);
    buf.U32(format);
    buf.Bytes(vertexBytes);
    buf.U32(kFaces);
    buf.U32(kFacesHeadSize + 4 * static_cast<uint32_t>(indices.size()));
    buf.U32(static_cast<uint32_t>(indices.size() / 3));
    for (uint32_t i : indices) buf.U32(i);
    buf.PatchU32(at + 4, buf.Offset() - at);
  }
  // Three separate corners per triangle, as the mesh export leaves them before welding.
  void GBlock(uint32_t material, const std::vector<Vertex>& corners) {
    uint32_t pairs = corners.empty() ? 0 : static_cast<uint32_t>(corners[0].uv.size());
    std::vector<uint32_t> indices(corners.size());
    for (uint32_t i = 0; i < indices.size(); ++i) indices[i] = i;
    GBlock(material, VertexStride(pairs), VertexFormat(pairs), VertexBytes(corners), indices);
  }

  static std::vector<uint8_t> VertexBytes(const std::vector<Vertex>& vertices) {
    std::vector<uint8_t> bytes;
    support::ByteWriter w(bytes);
    for (const Vertex& v : vertices) {
      for (float f : v.p) w.F32(f);
      for (float f : v.n) w.F32(f);
      for (auto [u, vv] : v.uv) {
        w.F32(u);
        w.F32(vv);
      }
    }
    return bytes;
  }

  std::vector<uint8_t> Written() const { return {buf.Written().begin(), buf.Written().end()}; }
};

// Records every progress call.
class RecordingProgress : public ExportProgress {
 public:
  struct Step {
    std::string node, operation;
    int bar;
  };
  struct Bar2 {
    int min, max, pos;
  };
  std::vector<Step> steps;
  std::vector<Bar2> bars;

  void SetStep(const char* node, const char* operation, int barPos) override {
    steps.push_back({node ? node : "", operation ? operation : "", barPos});
  }
  void SetBar2(int rangeMin, int rangeMax, int pos) override { bars.push_back({rangeMin, rangeMax, pos}); }
};

// Little-endian words for golden byte lists written out by hand.
inline std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> out;
  support::ByteWriter w(out);
  for (uint32_t v : words) w.U32(v);
  return out;
}
inline void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) {
  out.insert(out.end(), more.begin(), more.end());
}
inline void AppendText(std::vector<uint8_t>& out, std::string_view text, std::size_t field) {
  for (std::size_t i = 0; i < field; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}
inline uint32_t F(float v) { return std::bit_cast<uint32_t>(v); }

}  // namespace vorlan::zef::testing
