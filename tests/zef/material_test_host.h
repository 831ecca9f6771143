// A scene, a recording user interface and a scene buffer for the material record tests, with
// a byte builder for expected records written out field by field.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/interface.h"
#include "support/bytes.h"
#include "workbench/materials.h"
#include "workbench/scene.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"
#include "zef/material_records.h"
#include "zef/scene_buffer.h"

namespace vorlan::zef::testing {

// Expected bytes, written field by field from the record layouts.
struct Bytes {
  std::vector<uint8_t> v;
  Bytes& u8(uint8_t x) {
    v.push_back(x);
    return *this;
  }
  Bytes& u32(uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
    return *this;
  }
  Bytes& i32(int32_t x) { return u32(static_cast<uint32_t>(x)); }
  Bytes& f32(float x) { return u32(std::bit_cast<uint32_t>(x)); }
  Bytes& f32x3(float a, float b, float c) { return f32(a).f32(b).f32(c); }
  // The characters and their zero.
  Bytes& str(const std::string& s) {
    v.insert(v.end(), s.begin(), s.end());
    v.push_back(0);
    return *this;
  }
  Bytes& chars(const char* s, std::size_t n) {
    v.insert(v.end(), s, s + n);
    return *this;
  }
};

// Everything one MatList export needs; MaterialFixture makes it a test fixture, and a test
// may make more of them.
struct MaterialHarness {
  workbench::Scene scene;
  workbench::ScriptedUI ui;
  workbench::Workbench ip{scene, ui};
  MaterialTable table;
  SceneBuffer buffer;
  uint32_t head = 0;

  // A node that uses `mtl`, collected as the pre-pass would.
  host::Node* Use(const std::shared_ptr<host::Mtl>& mtl, const std::string& name = "box") {
    workbench::SceneNode& n = scene.CreateNode(name);
    n.SetMtl(mtl);
    table.Collect(&n, mtl.get());
    return &n;
  }

  int Export(RecordStyle style = RecordStyle::Scene) {
    buffer.U32(0xDEADBEEF);  // something before the block, so offsets are not all from 0
    head = buffer.Offset();
    return ExportMaterialList(buffer, table, ip, style);
  }

  std::span<const uint8_t> Block() const { return buffer.Written().subspan(head); }
  uint32_t BlockU32(uint32_t at) const { return support::LoadU32(Block().data() + at); }
  uint32_t RecordCount() const { return BlockU32(8); }

  // The records of the block, walked by their sizes.
  std::vector<std::vector<uint8_t>> Records() const {
    std::vector<std::vector<uint8_t>> out;
    auto b = Block();
    std::size_t at = 12;
    for (uint32_t i = 0; i < RecordCount() && at + 8 <= b.size(); ++i) {
      uint32_t size = support::LoadU32(b.data() + at + 4);
      if (size < 8 || at + size > b.size()) break;
      out.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(at),
                       b.begin() + static_cast<std::ptrdiff_t>(at + size));
      at += size;
    }
    return out;
  }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> t;
    for (const host::MessageBoxRequest& m : ui.messages) t.push_back(m.text);
    return t;
  }
};

struct MaterialFixture : ::testing::Test, MaterialHarness {};

inline std::shared_ptr<workbench::BitmapTex> Bitmap(std::string path, int tiling = 3, float mipMap = 0) {
  auto t = std::make_shared<workbench::BitmapTex>(std::move(path));
  t->uvGen.tilingFlags = tiling;
  t->uvGen.mipMap = mipMap;
  return t;
}

inline std::shared_ptr<workbench::StandardMtl> Standard(std::string name) {
  return std::make_shared<workbench::StandardMtl>(std::move(name));
}

inline std::shared_ptr<workbench::ParamMtl> Engine(host::ClassId id, std::string name) {
  return std::static_pointer_cast<workbench::ParamMtl>(
      workbench::CreateMaterialByClassId(id, std::move(name)));
}

inline workbench::StandardMtl& Base(workbench::ParamMtl& vexaMat) {
  return static_cast<workbench::StandardMtl&>(*vexaMat.reference0);
}

}  // namespace vorlan::zef::testing
