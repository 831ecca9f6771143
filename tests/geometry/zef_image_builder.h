// Lays out small in-memory .zef images for tests: the 12304-byte header, an Info block, a
// root node with an empty material list, and nodes with geometry blocks, exactly as the
// scene exporter arranges them before welding (three vertices per triangle).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/math3d.h"
#include "support/bytes.h"

namespace vorlan::zeftest {

struct ImageVertex {
  host::Point3 position;
  host::Point3 normal;
  std::vector<float> uv;  // pairs (u, v); all vertices of a part carry the same number
};

class ZefImageBuilder {
 public:
  explicit ZefImageBuilder(std::string_view rootName = "Scene Root") : w_(bytes_) {
    w_.U32(0x0046455A);  // "ZEF\0"
    w_.U32(0x30303130);  // "0100"
    w_.U32(0);           // host version
    w_.U32(0);           // node count
    w_.Zeros(12288);     // thumbnail
    // Info: user name field, empty comment.
    w_.U32(0x70);
    w_.U32(85);
    w_.U32(1);
    w_.U32(1);
    w_.U32(0);
    w_.FixedString("", 64);
    w_.U8(0);
    BeginNode(rootName);
    w_.U32(0x1000);  // MatList with no records
    w_.U32(12);
    w_.U32(0);
  }

  // Node head with size and child count patched by EndNode.
  void BeginNode(std::string_view name) {
    open_.push_back(w_.Pos());
    w_.U32(0x01);
    w_.U32(0);
    w_.U32(0);
    w_.U32(static_cast<uint32_t>(name.size() + 1));
    w_.CString(name);
  }
  void EndNode(uint32_t children = 0) {
    std::size_t at = open_.back();
    open_.pop_back();
    w_.PatchU32(at + 4, static_cast<uint32_t>(w_.Pos() - at));
    w_.PatchU32(at + 8, children);
  }

  // GObj head, an identity Transform, the user properties and, for a shared object, the
  // Instance block. GBlocks follow through AddGBlock; EndGObj patches size and count.
  void BeginGObj(std::string_view userProps, uint32_t instance = 0) {
    gobj_ = w_.Pos();
    gblocks_ = 0;
    w_.U32(0x30);
    w_.U32(0);
    w_.U32(0);
    w_.U32(0x35);
    w_.U32(108);
    w_.Zeros(24);  // position, rotation
    for (int i = 0; i < 3; ++i) w_.F32(1.0f);
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) w_.F32(r == c ? 1.0f : 0.0f);
    w_.U32(0x34);
    w_.U32(static_cast<uint32_t>(12 + userProps.size() + 1));
    w_.U32(static_cast<uint32_t>(userProps.size() + 1));
    w_.CString(userProps);
    if (instance) {
      w_.U32(0x36);
      w_.U32(12);
      w_.U32(instance);
    }
  }
  // One material part; faces number the vertices 0, 1, 2, 3, ... Returns the offset of the
  // first vertex record.
  std::size_t AddGBlock(const std::vector<ImageVertex>& vertices, int32_t material = -1) {
    uint32_t channels = vertices.empty() ? 0 : static_cast<uint32_t>(vertices[0].uv.size() / 2);
    uint32_t stride = 24 + 8 * channels;
    uint32_t count = static_cast<uint32_t>(vertices.size());
    uint32_t triangles = count / 3;
    uint32_t vsize = 20 + count * stride;
    uint32_t fsize = 12 + 12 * triangles;
    w_.U32(0x31);
    w_.U32(12 + vsize + fsize);
    w_.I32(material);
    w_.U32(0x32);
    w_.U32(vsize);
    w_.U32(count);
    w_.U32(stride);
    w_.U32(0x12 | (channels << 8));
    std::size_t first = w_.Pos();
    for (const ImageVertex& v : vertices) {
      Point(v.position);
      Point(v.normal);
      for (float f : v.uv) w_.F32(f);
    }
    w_.U32(0x33);
    w_.U32(fsize);
    w_.U32(triangles);
    for (uint32_t i = 0; i < triangles * 3; ++i) w_.U32(i);
    ++gblocks_;
    return first;
  }
  void EndGObj() {
    w_.PatchU32(gobj_ + 4, static_cast<uint32_t>(w_.Pos() - gobj_));
    w_.PatchU32(gobj_ + 8, gblocks_);
  }

  // Any block, for the kinds the smoother must step over.
  void AddBlock(uint32_t id, const std::vector<uint8_t>& payload) {
    w_.U32(id);
    w_.U32(static_cast<uint32_t>(8 + payload.size()));
    w_.Bytes(payload);
  }

  // Closes the root node and appends the zero head that ends every walk.
  std::vector<uint8_t> Finish(uint32_t topLevelNodes) {
    while (open_.size() > 1) EndNode();
    EndNode(topLevelNodes);
    w_.Zeros(8);
    return bytes_;
  }

  std::size_t Pos() const { return w_.Pos(); }

 private:
  void Point(host::Point3 p) {
    w_.F32(p.x);
    w_.F32(p.y);
    w_.F32(p.z);
  }

  std::vector<uint8_t> bytes_;
  support::ByteWriter w_;
  std::vector<std::size_t> open_;
  std::size_t gobj_ = 0;
  uint32_t gblocks_ = 0;
};

// The stored normal of vertex i of a part that starts at `first` with the given stride.
inline host::Point3 NormalAt(const std::vector<uint8_t>& image, std::size_t first, std::size_t i,
                             std::size_t stride = 24) {
  const uint8_t* p = image.data() + first + i * stride + 12;
  return {support::LoadF32(p), support::LoadF32(p + 4), support::LoadF32(p + 8)};
}

}  // namespace vorlan::zeftest
