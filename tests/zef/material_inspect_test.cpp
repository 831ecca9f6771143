// The inspector's view of material records: the fields a reader of the file gets.
#include <gtest/gtest.h>

#include "zef/blocks.h"
#include "zef/inspect.h"
#include "zef/material_test_host.h"

namespace vorlan::zef::testing {
namespace {

struct InspectFixture : MaterialFixture {
  // A file holding only the header and the MatList of the collected materials.
  std::string Inspect() {
    buffer.U32(kMagic);
    buffer.U32(kVersion0100);
    buffer.U32(0);
    buffer.U32(0);
    buffer.SetOffset(kHeaderSize);
    EXPECT_EQ(ExportMaterialList(buffer, table, ip), kMatListOk);
    return InspectZef(buffer.Written());
  }
};

TEST_F(InspectFixture, EveryRecordKindShowsItsFields) {
  auto s = Standard("AB");
  s->twoSided = true;
  s->SetMap(1, Bitmap("C:\\maps\\wood.tga", 3, 1));
  auto v = Engine(host::kVexaMatClassId, "Rock");
  v->Params().Set("PRM_COLLISION_TYPE", "ROCK");
  auto l = Engine(host::kVexaLayerClassId, "Lake");
  l->Params().Set("isGlass", 2);
  l->Params().Set("layerOrder", 1, 0);
  l->Params().Set("layerFilename", "a.tga", 0);
  Use(s);
  Use(v);
  Use(l);
  const std::string text = Inspect();
  EXPECT_NE(text.find("nameCode \"AB\"  mapMask 0x1  texture[0] 0x13 \"wood.tga\""), std::string::npos)
      << text;
  EXPECT_NE(text.find("collision \"ROCK\""), std::string::npos) << text;
  EXPECT_NE(text.find("name \"Rock\""), std::string::npos) << text;
  EXPECT_NE(text.find("extras glass alphaAngle 0"), std::string::npos) << text;
  EXPECT_NE(text.find("layer[0] slot 0 flags 0x0"), std::string::npos) << text;
  EXPECT_EQ(text.find("problem \""), std::string::npos) << text;
}

TEST_F(InspectFixture, DamagedRecordIsReportedNotTrusted) {
  auto l = Engine(host::kVexaLayerClassId, "Lake");
  Use(l);
  Inspect();
  // Claim a thousand layers in a record that has room for none.
  const uint32_t record = kHeaderSize + 12;
  buffer.PatchU32(record + 0x0c, 1000);
  const std::string text = InspectZef(buffer.Written());
  EXPECT_NE(text.find("problem \"more layer entries than bytes"), std::string::npos) << text;
}

}  // namespace
}  // namespace vorlan::zef::testing
