// Animations of real interchange files through .manm: the keys the interchange importer
// made are exported, imported onto a fresh copy of the scene whose nodes have lost their
// controllers, and exported again.
#include <gtest/gtest.h>

#include <set>

#include "anim_host.h"
#include "interchange/import.h"
#include "keyexport/key_exporter.h"
#include "keyexport/node_records.h"
#include "keyimport/key_importer.h"
#include "keyimport/manm.h"
#include "support/bytes.h"

namespace vorlan::keyexport {
namespace {

using testing::AnimHost;

std::string Asset(const std::string& relative) { return std::string(VORLAN_ASSETS_DIR) + "/" + relative; }

// Counts the keys of every record (without checking the layouts again).
uint64_t KeysInFile(const std::vector<uint8_t>& file) {
  support::ByteReader r(file);
  r.Seek(8);
  const uint32_t records = r.U32().value_or(0);
  uint64_t keys = 0;
  std::size_t at = manm::kHeaderSize;
  for (uint32_t i = 0; i < records && at + manm::kRecordHeadSize <= file.size(); ++i) {
    for (int k = 0; k < 4; ++k) keys += support::LoadU32(file.data() + at + 8 + 4 * k);
    at += support::LoadU32(file.data() + at + 4);
  }
  return keys;
}

TEST(KeyExportCorpus, InterchangeAnimationsGoToManmAndBackUnchanged) {
  for (const char* file :
       {"gltf/InterpolationTest/InterpolationTest.glb", "gltf/BoxAnimated/BoxAnimated.glb",
        "gltf/CesiumMan/CesiumMan.glb", "gltf/Fox/Fox.glb", "gltf/RiggedSimple/RiggedSimple.glb",
        "gltf/CesiumMilkTruck/CesiumMilkTruck.glb", "dae/BoxAnimated/BoxAnimated.dae",
        "dae/CesiumMan/CesiumMan.dae", "fbx/huesitos.fbx"}) {
    SCOPED_TRACE(file);
    AnimHost source, target;
    ASSERT_TRUE(workbench::ImportInterchange(Asset(file), source.scene, {}).ok);
    ASSERT_TRUE(workbench::ImportInterchange(Asset(file), target.scene, {}).ok);
    // Nodes are matched by name; cameras are sampled into keys the importer does not take
    // back, so only the other nodes are exported.
    std::set<std::string> names;
    for (auto* n : source.scene.AllNodes()) {
      EXPECT_TRUE(names.insert(n->GetName()).second) << "two nodes named " << n->GetName();
      n->SetSelected(!IsCamera(*n));
    }
    for (auto* n : target.scene.AllNodes()) {
      n->GetTMController()->SetPositionController(nullptr);
      n->GetTMController()->SetRotationController(nullptr);
      n->GetTMController()->SetScaleController(nullptr);
    }

    const std::string first = source.Path("first.manm");
    ASSERT_EQ(KeyExporter().DoExport(first.c_str(), source, true, host::kExportSelected), 1);
    EXPECT_GT(KeysInFile(source.Read(first)), 0u);
    ASSERT_EQ(keyimport::KeyImporter().DoImport(first.c_str(), target, true), 1);
    EXPECT_NE(target.Log().find("Import done."), std::string::npos) << target.Log();

    int animated = 0;
    for (auto* a : source.scene.AllNodes()) {
      if (!a->TMControl()->HasKeys()) continue;
      ++animated;
      const auto* b = target.scene.FindNode(a->GetName());
      ASSERT_NE(b, nullptr);
      for (host::TimeValue t = source.scene.animStart; t <= source.scene.animEnd + 160; t += 53) {
        const host::Matrix3 ma = a->GetNodeTM(t), mb = b->GetNodeTM(t);
        ASSERT_EQ(ma, mb) << a->GetName() << " at " << t;
      }
    }
    EXPECT_GT(animated, 0);

    for (auto* n : target.scene.AllNodes()) n->SetSelected(!IsCamera(*n));
    const std::string again = target.Path("again.manm");
    ASSERT_EQ(KeyExporter().DoExport(again.c_str(), target, true, host::kExportSelected), 1);
    EXPECT_EQ(source.Read(first), target.Read(again));
  }
}

}  // namespace
}  // namespace vorlan::keyexport
