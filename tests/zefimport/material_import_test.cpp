// Materials from the MatList and their textures: records to host materials, the automatic
// search, the texture dialog, the folder search and the engine paths.
#include <filesystem>

#include "import_fixture.h"
#include "zef/material_records.h"
#include "zefimport/texture_dialog.h"
#include "zefimport/texture_search.h"

namespace vorlan::testing {
namespace {

namespace fs = std::filesystem;
using host::Point3;

class MaterialImportTest : public ImportFixture {
 protected:
  void Touch(const std::string& relative) {
    fs::create_directories(fs::path(host.Path(relative)).parent_path());
    std::ofstream(host.Path(relative)) << "x";
  }
  // A scene whose one node uses every record of `records` through one GBlock each.
  std::vector<uint8_t> SceneWith(const std::vector<std::vector<uint8_t>>& records,
                                 std::vector<int32_t> indices) {
    ZefFileBuilder f;
    f.b.MatList(records);
    uint32_t n = f.b.BeginNode("Mesh");
    uint32_t g = f.b.BeginGObj();
    for (int32_t i : indices) f.b.GBlock(static_cast<uint32_t>(i), TriangleCorners());
    f.b.EndGObj(g, static_cast<uint32_t>(indices.size()));
    f.b.EndNode(n, 0);
    return f.Finish(1);
  }
  static std::vector<uint8_t> Std(const std::string& name, uint32_t mask,
                                  std::vector<zef::TextureEntry> t = {}, uint32_t flags = 0) {
    zef::StdRecord r;
    r.flags = flags;
    r.nameCode = zef::MakeCode4(name);
    r.mapMask = mask;
    r.textures = std::move(t);
    std::vector<uint8_t> out;
    zef::EncodeRecord(r, out);
    return out;
  }
  const host::Texmap* Texture(int slot) {
    host::Mtl* m = Find("Mesh")->GetMtl();
    return m ? m->GetSubTexmap(slot) : nullptr;
  }
};

TEST_F(MaterialImportTest, StandardRecordsBecomeStandardMaterialsWithTexturesInTheirSlots) {
  Touch("maps/d.tga");
  Touch("maps/s.tga");
  // Diffuse (0x1, map 1) and shininess (0x20, map 3), tiled in U and mip-mapped.
  auto bytes =
      SceneWith({Std("Wood planks", 0x21, {{0x11, "d.tga"}, {0x1, "s.tga"}}, zef::kMtlTwoSided)}, {0});
  Import(bytes, true, "maps/in.zef");
  host::Mtl* m = Find("Mesh")->GetMtl();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->GetClassId(), host::kStandardMtlClassId);
  EXPECT_EQ(m->GetName(), "Wood");
  EXPECT_TRUE(m->IsTwoSided());
  ASSERT_NE(Texture(1), nullptr);
  EXPECT_EQ(Texture(1)->GetMapFileName(), host.Path("maps/d.tga"));
  EXPECT_EQ(Texture(1)->GetUVGen()->tilingFlags, 1);
  EXPECT_EQ(Texture(1)->GetUVGen()->mipMap, 1.0f);
  ASSERT_NE(Texture(3), nullptr);
  EXPECT_EQ(Texture(3)->GetMapFileName(), host.Path("maps/s.tga"));
  EXPECT_TRUE(m->SubTexmapOn(3));
  EXPECT_TRUE(host.ui.dialogs.empty());
  EXPECT_TRUE(Logged("", "Texture: name: \"d.tga\", found at: " + host.Path("maps/d.tga") + "\n"));
}

TEST_F(MaterialImportTest, TwoCandidatesUnderTheParentsTexFolderOpenTheDialog) {
  Touch("tex/a/rock.tga");
  Touch("tex/b/rock.tga");
  host.ui.QueueDialog([&](host::DialogModel& d) {
    EXPECT_EQ(d.title, zefimport::kTextureDialogTitle);
    EXPECT_EQ(d.Find(zefimport::IDC_TEX_MATERIAL)->label, "Rock");
    EXPECT_EQ(d.Find(zefimport::IDC_TEX_NAME)->label, "rock.tga");
    const auto* list = d.Find(zefimport::IDC_TEX_LIST);
    EXPECT_EQ(list->items,
              (std::vector<std::string>{host.Path("tex/a/rock.tga"), host.Path("tex/b/rock.tga")}));
    EXPECT_EQ(list->value, 0);
    d.Find(zefimport::IDC_TEX_LIST)->value = 1;
    d.result = zefimport::IDC_TEX_OK;
  });
  Import(SceneWith({Std("Rock", 0x1, {{0, "rock.tga"}})}, {0}), true, "level/in.zef");
  ASSERT_EQ(host.ui.dialogs.size(), 1u);
  EXPECT_EQ(Texture(1)->GetMapFileName(), host.Path("tex/b/rock.tga"));
}

TEST_F(MaterialImportTest, NoneForAllSilencesTheRestOfTheImportAndNamesStayOnTheTextures) {
  auto records = {Std("aaaa", 0x1, {{0, "one.tga"}}), Std("bbbb", 0x1, {{0, "two.tga"}})};
  host.ui.QueueDialog([](host::DialogModel& d) { d.result = zefimport::IDC_TEX_NONE_FOR_ALL; });
  Import(SceneWith(records, {0, 1}));
  EXPECT_EQ(host.ui.dialogs.size(), 1u);
  host::Mtl* multi = Find("Mesh")->GetMtl();
  ASSERT_NE(multi, nullptr);
  // Not found, so the file name is all the texture keeps.
  EXPECT_EQ(multi->GetSubMtl(1)->GetSubTexmap(1)->GetMapFileName(), "two.tga");
  EXPECT_TRUE(Logged("", "Texture: name: \"two.tga\", not found.\n"));

  // A new import asks again.
  host.ui.QueueDialog([](host::DialogModel& d) { d.result = zefimport::IDC_TEX_NONE; });
  Import(SceneWith(records, {0, 1}));
  EXPECT_EQ(host.ui.dialogs.size(), 3u);
}

TEST_F(MaterialImportTest, BrowseSearchAndTheSearchFolderKeptForLaterTextures) {
  Touch("library/deep/er/grass.tga");
  host.ui.QueueDialog([&](host::DialogModel& d) {
    d.Find(zefimport::IDC_TEX_FOLDER)->text = host.Path("library");
    d.result = zefimport::IDC_TEX_SEARCH;
  });
  host.ui.QueueDialog([&](host::DialogModel& d) {
    EXPECT_EQ(d.Find(zefimport::IDC_TEX_LIST)->items,
              (std::vector<std::string>{host.Path("library/deep/er/grass.tga")}));
    d.result = zefimport::IDC_TEX_OK;
  });
  host.ui.QueueDialog([](host::DialogModel& d) { d.result = zefimport::IDC_TEX_BROWSE; });
  host.ui.QueuePath(std::string("/picked/by/hand.tga"));
  Import(SceneWith({Std("grss", 0x1, {{0, "grass.tga"}}), Std("hand", 0x1, {{0, "other.tga"}})}, {0, 1}));
  host::Mtl* multi = Find("Mesh")->GetMtl();
  EXPECT_EQ(multi->GetSubMtl(0)->GetSubTexmap(1)->GetMapFileName(), host.Path("library/deep/er/grass.tga"));
  EXPECT_EQ(multi->GetSubMtl(1)->GetSubTexmap(1)->GetMapFileName(), "/picked/by/hand.tga");
  ASSERT_EQ(host.ui.filePickers.size(), 1u);
  EXPECT_EQ(host.ui.filePickers[0].title, "Choose texture...");
  zefimport::ImportSettings saved;
  zefimport::LoadConfig(host.cfgDir + "/zefImport.cfg", saved);
  EXPECT_EQ(saved.searchFolder, host.Path("library"));
}

TEST_F(MaterialImportTest, EnginePathsAndARelativeTexturesPath) {
  auto p = zefimport::ParseEnginePaths("[x]\r\nEnginePath=C:\\Engine\r\nTexturesPath=data\\tex\r\n");
  EXPECT_EQ(p.enginePath, "C:\\Engine");
  EXPECT_EQ(p.TexturesFolder(), "C:\\Enginedata\\tex");  // no separator is added
  EXPECT_EQ(zefimport::ParseEnginePaths("TexturesPath=D:\\tex\n").TexturesFolder(), "D:\\tex");
  EXPECT_EQ(zefimport::ParseEnginePaths("nothing").TexturesFolder(), "");

  // The search runs into "<EnginePath>textures" when the search folder has nothing.
  Touch("enginetextures/wall.tga");
  std::ofstream(host.cfgDir + "/vexaMondrel.ini")
      << "EnginePath=" << host.Path("engine") << "\nTexturesPath=textures\n";
  host.ui.QueueDialog([](host::DialogModel& d) {
    d.Find(zefimport::IDC_TEX_AUTO)->value = 1;
    d.result = zefimport::IDC_TEX_SEARCH;
  });
  host.ui.QueueDialog([&](host::DialogModel& d) {
    EXPECT_EQ(d.Find(zefimport::IDC_TEX_AUTO)->value, 1);
    d.result = zefimport::IDC_TEX_OK;
  });
  Import(SceneWith({Std("wall", 0x1, {{0, "wall.tga"}})}, {0}));
  EXPECT_EQ(Texture(1)->GetMapFileName(), host.Path("enginetextures/wall.tga"));
}

TEST_F(MaterialImportTest, CaseOfTextureNamesMattersUnlessTheUserSaysOtherwise) {
  Touch("Wood.TGA");
  Import(SceneWith({Std("wood", 0x1, {{0, "wood.tga"}})}, {0}));
  EXPECT_EQ(Texture(1)->GetMapFileName(), "wood.tga");
  host.scene.properties[zefimport::kCaseInsensitiveProperty] = 1;
  Import(SceneWith({Std("wood", 0x1, {{0, "wood.tga"}})}, {0}));
  EXPECT_EQ(Texture(1)->GetMapFileName(), host.Path("Wood.TGA"));
}

TEST_F(MaterialImportTest, AnUnknownRecordKeepsItsPlaceSoLaterIndicesDoNotShift) {
  std::vector<uint8_t> unknown = zef::testing::Words({0x1009, 12, 0});
  auto bytes = SceneWith({Std("frst", 0), unknown, Std("thrd", 0)}, {2});
  ASSERT_EQ(Import(bytes), 1);
  EXPECT_EQ(Find("Mesh")->GetMtl()->GetName(), "thrd");
  EXPECT_TRUE(Logged("Error:\t", "Unknown material found! BlockID : 0x1009"));

  // So does a record whose class the host cannot create.
  host.SetUnavailableClass(host::kVexaMatClassId);
  zef::VexaMatRecord vm;
  vm.name = "engine";
  std::vector<uint8_t> vmBytes;
  zef::EncodeRecord(vm, vmBytes);
  ASSERT_EQ(Import(SceneWith({vmBytes, Std("last", 0)}, {1})), 1);
  EXPECT_EQ(Find("Mesh")->GetMtl()->GetName(), "last");
  EXPECT_EQ(MessageTexts().front(), "Can't create instance of VexaMat. Make sure that it's loaded.");
}

TEST_F(MaterialImportTest, FolderSearchStopsWhenAskedAndHandsOverASnapshot) {
  for (int i = 0; i < 30; ++i) Touch("many/d" + std::to_string(i) + "/x.tga");
  zefimport::FolderSearch search;
  search.Start({host.Path("nothing-here"), host.Path("many")}, "x.tga", false);
  search.Wait();
  EXPECT_FALSE(search.Running());
  auto found = search.Candidates().Snapshot();
  ASSERT_EQ(found.size(), 30u);
  EXPECT_EQ(found.front(), host.Path("many/d0/x.tga"));

  // Stopped before it starts looking, it finds nothing.
  std::atomic<bool> running{false};
  zefimport::CandidateList list;
  zefimport::SearchTree(host.Path("many"), "x.tga", false, running, list, {});
  EXPECT_EQ(list.Size(), 0u);
}

}  // namespace
}  // namespace vorlan::testing
