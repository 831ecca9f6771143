// The import's frame: settings, dialog, header and version rules, the top-level walk with
// unknown blocks, truncation, cancelling, and what the log says.
#include <filesystem>
#include <functional>

#include "import_fixture.h"

namespace vorlan::testing {
namespace {

using host::Answer;

using ImportWalkTest = ImportFixture;

std::vector<uint8_t> EmptyScene() {
  ZefFileBuilder f;
  f.b.MatList();
  return f.Finish(0);
}

// A file with one node "Box" holding a triangle, then (optionally) more top-level blocks.
std::vector<uint8_t> OneTriangle(const std::function<void(ImageBuilder&)>& after = {}) {
  ZefFileBuilder f;
  f.b.MatList();
  uint32_t n = f.b.BeginNode("Box");
  uint32_t g = f.b.BeginGObj();
  f.b.Transform({1, 2, 3});
  f.b.UserProps("hydro");
  f.b.GBlock(zef::kDefaultMaterial, TriangleCorners());
  f.b.EndGObj(g, 1);
  f.b.EndNode(n, 0);
  if (after) after(f.b);
  return f.Finish(1);
}

TEST_F(ImportWalkTest, HeaderInfoRootAndEmptyMatListImportNothingAndSucceed) {
  host.scene.CreateNode("Old");
  EXPECT_EQ(Import(EmptyScene()), 1);
  EXPECT_EQ(host.scene.NodeCount(), 1u);  // the new scene replaced the old node
  EXPECT_TRUE(host.ui.messages.empty());
  EXPECT_EQ(host.RedrawCount(), 1);
  const std::string log = Log();
  EXPECT_EQ(log.rfind("Log for ZefImport:\n\n\n", 0), 0u) << log;
  for (const char* line : {">NewScene", "MemMgr: Init OK", "Info:\tVersion: 30303130",
                           "Info> user: \"BUILDBOX\\artist\", comment: \"\"\n",
                           "RootNode-> name: \"Scene Root\", numChildren: 0\n",
                           "MatList-> number of materials: 0\n", "MemMgr: Release OK", "Info:\tImport done."})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST_F(ImportWalkTest, UnknownTopLevelBlockIsReportedAndTheBlocksAfterItStillImport) {
  auto bytes = OneTriangle([](ImageBuilder& b) {
    b.Raw(0x0099, {1, 2, 3, 4});
    uint32_t n = b.BeginNode("After");
    b.EndNode(n, 0);
  });
  ASSERT_EQ(Import(bytes), 1);
  EXPECT_NE(Find("Box"), nullptr);
  EXPECT_NE(Find("After"), nullptr);
  auto texts = MessageTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].rfind("Unknown block found! File offset: ", 0), 0u);
  EXPECT_EQ(host.ui.messages[0].caption, "Error");
  EXPECT_EQ(texts[1], zefimport::kUnknownBlocksText);
  EXPECT_EQ(host.ui.messages[1].caption, "Info");
  EXPECT_TRUE(Logged("Error:\t", "ImportZEF() : Unknown block found! BlockID: 0x00000099, File offset: "));
}

TEST_F(ImportWalkTest, TruncatedFileFailsButKeepsTheNodesBuiltBefore) {
  auto bytes = OneTriangle([](ImageBuilder& b) {
    uint32_t n = b.BeginNode("Second");
    b.Transform();
    b.EndNode(n, 0);
  });
  bytes.resize(bytes.size() - 40);  // cuts into the second node's transform
  EXPECT_EQ(Import(bytes), 0);
  EXPECT_NE(Find("Box"), nullptr);
  EXPECT_NE(Find("Second"), nullptr);
  const std::string log = Log();
  EXPECT_TRUE(Logged("Error:\t", "ZefImport::ReadZEF(): trying to read behind buffer!")) << log;
  EXPECT_TRUE(Logged("Error:\t", "Import failed!"));
}

TEST_F(ImportWalkTest, BlockSizesThatCannotBeSteppedOverEndTheImport) {
  // A nested block of size 0 would otherwise be met again and again.
  ZefFileBuilder f;
  f.b.MatList();
  uint32_t n = f.b.BeginNode("Loop");
  f.b.buf.U32(0x0077);
  f.b.buf.U32(0);
  f.b.EndNode(n, 0);
  EXPECT_EQ(Import(f.Finish(1)), 0);

  ZefFileBuilder top;
  top.b.buf.U32(0x0077);  // a top-level block of size 4
  top.b.buf.U32(4);
  EXPECT_EQ(Import(top.Finish(0)), 0);
}

TEST_F(ImportWalkTest, AnsweringNoToReallyCancelGoesOnAndYesStops) {
  host.SetProgressHook([](workbench::Workbench& wb, int) { wb.RequestCancel(); });
  host.ui.QueueAnswer(Answer::No);
  host.ui.QueueAnswer(Answer::No);
  host.ui.QueueAnswer(Answer::No);
  host.ui.QueueAnswer(Answer::No);
  EXPECT_EQ(Import(OneTriangle()), 1);
  ASSERT_FALSE(host.ui.messages.empty());
  EXPECT_EQ(host.ui.messages[0].text, "Really Cancel?");
  EXPECT_EQ(host.ui.messages[0].caption, "Question");
  EXPECT_EQ(host.ui.messages[0].buttons, host::Buttons::YesNo);
  EXPECT_NE(Find("Box"), nullptr);

  TestHost other;
  other.SetProgressHook([](workbench::Workbench& wb, int) { wb.RequestCancel(); });
  other.ui.QueueAnswer(Answer::Yes);
  zefimport::ZefImporter importer;
  EXPECT_EQ(importer.DoImport(path.c_str(), other, true), 0);
  EXPECT_EQ(other.scene.NodeCount(), 1u);
}

TEST_F(ImportWalkTest, DialogChoosesMergeAndCancelEndsTheImportAsSuccess) {
  host.scene.CreateNode("Kept");
  host.ui.QueueDialog([](host::DialogModel& d) {
    EXPECT_EQ(d.title, "ZEF Importer");
    d.Find(zefimport::IDC_NEW_SCENE)->value = 0;
    d.Find(zefimport::IDC_MERGE_SCENE)->value = 1;
    d.result = zefimport::IDC_IMPORT_OK;
  });
  EXPECT_EQ(Import(OneTriangle(), false), 1);
  EXPECT_NE(Find("Kept"), nullptr);
  EXPECT_NE(Find("Box"), nullptr);
  EXPECT_NE(Log().find(">MergeScene"), std::string::npos);

  // The choice was saved; with prompts suppressed it is used again.
  zefimport::ImportSettings saved;
  ASSERT_EQ(zefimport::LoadConfig(host.cfgDir + "/zefImport.cfg", saved), zefimport::ConfigStatus::kOk);
  EXPECT_FALSE(saved.newScene);
  EXPECT_EQ(Import(OneTriangle(), true), 1);
  EXPECT_NE(Find("Kept"), nullptr);

  host.ui.QueueDialog([](host::DialogModel& d) { d.result = zefimport::IDC_IMPORT_CANCEL; });
  const std::size_t before = host.scene.NodeCount();
  EXPECT_EQ(Import(OneTriangle(), false), 1);
  EXPECT_EQ(host.scene.NodeCount(), before);
}

TEST_F(ImportWalkTest, SuppressedPromptsUseTheSavedNewSceneChoice) {
  SaveSettings(true);
  host.scene.CreateNode("Gone");
  EXPECT_EQ(Import(OneTriangle()), 1);
  EXPECT_EQ(Find("Gone"), nullptr);
  EXPECT_TRUE(host.ui.dialogs.empty());
}

TEST_F(ImportWalkTest, SettingsOfANewerFormatAreRefused) {
  std::vector<uint8_t> cfg = zef::testing::Words({2});
  cfg.push_back(1);
  ASSERT_TRUE(support::WriteFileAtomic(host.cfgDir + "/zefImport.cfg", cfg));
  EXPECT_EQ(Import(OneTriangle()), 0);
  EXPECT_EQ(Find("Box"), nullptr);

  // A missing file is written from the defaults: format 1, new scene, no folder.
  std::filesystem::remove(host.cfgDir + "/zefImport.cfg");
  EXPECT_EQ(Import(OneTriangle()), 1);
  auto bytes = host.Read(host.cfgDir + "/zefImport.cfg");
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 0, 0, 0, 1}));
}

TEST_F(ImportWalkTest, HeaderRules) {
  auto bytes = OneTriangle();
  bytes[0] = 'X';
  EXPECT_EQ(Import(bytes), 0);
  EXPECT_EQ(MessageTexts().back(), "This is not a ZEF file!");

  bytes = OneTriangle();
  support::ByteWriter::StoreU32(bytes.data() + 4, 0x39393939);
  EXPECT_EQ(Import(bytes), 0);
  EXPECT_EQ(MessageTexts().back(), "File ver.: 39393939\nUnknown .ZEF version. Call Orvel.");

  // "0007": a box, then read from 12304 like a current file.
  bytes = OneTriangle();
  support::ByteWriter::StoreU32(bytes.data() + 4, zef::kVersion0007);
  EXPECT_EQ(Import(bytes), 1);
  EXPECT_EQ(MessageTexts().back(),
            "File ver.: 37303030\nThis is an old ZEF format version. It is not yet supported, call Orvel.");
  EXPECT_EQ(host.ui.messages.back().caption, "Info");
  EXPECT_NE(Find("Box"), nullptr);

  // "0005" has no thumbnail: its blocks start at 16.
  bytes = OneTriangle();
  support::ByteWriter::StoreU32(bytes.data() + 4, zef::kVersion0005);
  bytes.erase(bytes.begin() + 16, bytes.begin() + zef::kHeaderSize);
  EXPECT_EQ(Import(bytes), 1);
  EXPECT_NE(Find("Box"), nullptr);

  EXPECT_EQ(Import({}), 0);
  EXPECT_EQ(ImportFile(host.Path("missing.zef")), 0);
  EXPECT_EQ(MessageTexts().back(), "Can't open file: " + host.Path("missing.zef") + "\n");
}

// Damaged files from fuzzing (fuzz/corpus/zef_import) leave only valid meshes behind. A
// regression: a GObj cut off after a block with map faces and one without kept its mesh
// with fewer map faces than faces.
TEST_F(ImportWalkTest, DamagedFilesLeaveOnlyValidMeshes) {
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(VORLAN_SOURCE_DIR) + "/fuzz/corpus/zef_import")) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(support::ReadWholeFile(entry.path().string(), bytes));
    Import(bytes);
    for (workbench::SceneNode* n : host.scene.AllNodes()) {
      host::Object* o = n->ObjectPtr().get();
      const host::Mesh* m = o ? o->GetEditableMesh() : nullptr;
      EXPECT_TRUE(!m || m->IsValid()) << entry.path().filename() << ": " << n->GetName();
    }
  }
}

}  // namespace
}  // namespace vorlan::testing
