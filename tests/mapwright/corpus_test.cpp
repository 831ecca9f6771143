// Real meshes through the editor: loading them and writing the coordinates back without an
// edit must not change one bit of any map channel.
#include <gtest/gtest.h>

#include <bit>

#include "interchange/import.h"
#include "mapwright/session_fixture.h"

namespace mw = vorlan::mapwright;
namespace wb = vorlan::workbench;
using MapwrightCorpus = mw::testing::SessionFixture;

namespace {

// Every bitmap texture of a material tree (Multi/Sub-Object included).
void BitmapsOf(vorlan::host::Mtl* mtl, std::vector<wb::BitmapTex*>& out) {
  if (!mtl) return;
  for (int i = 0; i < mtl->NumSubMtls(); ++i) BitmapsOf(mtl->GetSubMtl(i), out);
  for (int s = 0; s < mtl->NumSubTexmaps(); ++s)
    if (auto* b = dynamic_cast<wb::BitmapTex*>(mtl->GetSubTexmap(s))) out.push_back(b);
}

bool SameBits(const vorlan::host::MapChannel& a, const vorlan::host::MapChannel& b) {
  if (a.tfaces != b.tfaces || a.tverts.size() != b.tverts.size()) return false;
  for (std::size_t i = 0; i < a.tverts.size(); ++i)
    for (int k = 0; k < 3; ++k)
      if (std::bit_cast<uint32_t>(a.tverts[i][k]) != std::bit_cast<uint32_t>(b.tverts[i][k])) return false;
  return true;
}

}  // namespace

TEST_F(MapwrightCorpus, LoadingAndUpdatingWithoutEditsChangesNoMapCoordinate) {
  const char* files[] = {"gltf/CesiumMilkTruck/CesiumMilkTruck.glb", "gltf/MultiUVTest/MultiUVTest.glb"};
  // An odd texture size: the conversion to pixels and back must be exact for any size.
  std::string odd = Bitmap("odd.bmp", 333, 97);
  int meshesChecked = 0;
  for (const char* file : files) {
    wb::Scene corpus;
    auto imported = wb::ImportInterchange(std::string(VORLAN_ASSETS_DIR) + "/" + file, corpus, {});
    ASSERT_TRUE(imported) << imported.error;
    for (wb::SceneNode* node : corpus.AllNodes()) {
      auto* object = dynamic_cast<wb::MeshObject*>(node->ObjectPtr().get());
      if (!object || !object->mesh.HasMap(1)) continue;
      std::vector<wb::BitmapTex*> maps;
      BitmapsOf(node->GetMtl(), maps);
      for (auto* m : maps) m->path = odd;
      vorlan::host::Mesh original = object->mesh;
      object->mesh.faceSel.assign(object->mesh.faces.size(), 1);
      for (wb::SceneNode* other : corpus.AllNodes()) other->SetSelected(other == node);

      wb::Workbench host(corpus, ui);
      host.SetPlugCfgDir(dir.Path());
      mw::Session s(host, settings);
      settings.method = int(mw::MapMethod::Mesh);
      ASSERT_TRUE(s.Reload()) << file << " " << node->GetName();
      for (std::size_t g = 0; g < s.editor.model.groups.size(); ++g) {
        s.editor.SelectGroup(int(g));
        for (std::size_t t = 0; t < s.editor.model.groups[g].textures.size(); ++t) {
          s.editor.SelectTexture(int(t));
          ASSERT_TRUE(s.UpdateUVWs());
        }
      }
      ASSERT_EQ(object->mesh.maps.size(), original.maps.size());
      for (std::size_t c = 0; c < original.maps.size(); ++c)
        EXPECT_TRUE(SameBits(object->mesh.maps[c], original.maps[c]))
            << file << " " << node->GetName() << " channel " << c;
      ++meshesChecked;
    }
  }
  EXPECT_GE(meshesChecked, 3);
  EXPECT_TRUE(ui.messages.empty());
}
