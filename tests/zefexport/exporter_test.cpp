// The scene exporter's driver: options, questions, the node walk and what reaches the file.
#include "zefexport/exporter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/bytes.h"
#include "test_host.h"
#include "workbench/materials.h"
#include "zef/blocks.h"
#include "zefexport/export_config.h"
#include "zefexport/export_dialogs.h"

namespace vorlan::testing {
namespace {

using host::Answer;
using workbench::HelperObject;
using workbench::MeshObject;

using ExporterTest = ExportFixture;

TEST_F(ExporterTest, EmptySceneStillGivesACompleteFile) {
  host.scene.hostVersion = 0x1234;
  ASSERT_EQ(Export(), 1);
  ASSERT_GE(bytes.size(), zef::kHeaderSize);
  EXPECT_EQ(support::LoadU32(&bytes[0]), zef::kMagic);
  EXPECT_EQ(support::LoadU32(&bytes[4]), zef::kVersion0100);
  EXPECT_EQ(support::LoadU32(&bytes[8]), 0x1234u);
  EXPECT_EQ(support::LoadU32(&bytes[12]), 1u);  // the root node alone

  // Info: user "BUILDBOX\artist", no comment: a single zero at +84, size 85.
  const uint8_t* info = &bytes[zef::kHeaderSize];
  EXPECT_EQ(support::LoadU32(info), zef::kInfo);
  EXPECT_EQ(support::LoadU32(info + 4), 85u);
  EXPECT_EQ(support::LoadU32(info + 8), std::string("BUILDBOX\\artist").size() + 1);
  EXPECT_EQ(support::LoadU32(info + 12), 1u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(info + 20)), "BUILDBOX\\artist");

  // RootNode: no children, then a MatList with no records and size 12, and nothing else.
  const uint8_t* root = info + 85;
  EXPECT_EQ(support::LoadU32(root), zef::kNode);
  EXPECT_EQ(support::LoadU32(root + 8), 0u);
  std::string rootName = host.scene.Root().GetName();
  const uint8_t* matList = root + 16 + rootName.size() + 1;
  EXPECT_EQ(support::LoadU32(matList), zef::kMatList);
  EXPECT_EQ(support::LoadU32(matList + 4), 12u);
  EXPECT_EQ(support::LoadU32(matList + 8), 0u);
  EXPECT_EQ(static_cast<std::size_t>(matList + 12 - bytes.data()), bytes.size());
  EXPECT_EQ(support::LoadU32(root + 4), bytes.size() - zef::kHeaderSize - 85);
}

TEST_F(ExporterTest, ReadOnlyTargetIsOverwrittenOnlyAfterYes) {
  std::string path = host.Path("locked.zef");
  ASSERT_TRUE(support::WriteFileAtomic(path, std::string("old")));
  ::chmod(path.c_str(), 0444);

  host.ui.QueueAnswer(Answer::No);
  EXPECT_EQ(Export(zefexport::kOptNoDialog, true, "locked.zef"), 0);
  ASSERT_EQ(host.ui.messages.size(), 1u);
  EXPECT_EQ(host.ui.messages[0].text, "File is read-only, owerwrite?");
  EXPECT_EQ(host.ui.messages[0].caption, "Warning");
  EXPECT_EQ(host.ui.messages[0].buttons, host::Buttons::YesNo);
  EXPECT_EQ(host.ui.messages[0].icon, host::Icon::Warning);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old");

  host.ui.QueueAnswer(Answer::Yes);
  EXPECT_EQ(Export(zefexport::kOptNoDialog, true, "locked.zef"), 1);
  EXPECT_EQ(support::LoadU32(bytes.data()), zef::kMagic);
}

TEST_F(ExporterTest, ConfigurationFileIsCreatedAndANewerFormatStopsExports) {
  std::string cfg = host.cfgDir + "/MaxExport.cfg";
  ASSERT_EQ(Export(zefexport::kOptNoDialog | zefexport::kOptResmoothSingle), 1);
  std::vector<uint8_t> saved = host.Read(cfg);
  EXPECT_EQ(saved, (std::vector<uint8_t>{1, 0, 0, 0, 0, 1, 0}));
  // An export that changes no setting leaves the file as it was, not rewritten.
  auto inode = [&] {
    struct stat st {};
    return ::stat(cfg.c_str(), &st) == 0 ? st.st_ino : ino_t{0};
  };
  const ino_t before = inode();
  ASSERT_EQ(Export(zefexport::kOptNoDialog | zefexport::kOptResmoothSingle), 1);
  EXPECT_EQ(inode(), before);

  ASSERT_TRUE(support::WriteFileAtomic(cfg, std::vector<uint8_t>{2, 0, 0, 0, 1, 1, 1}));
  EXPECT_EQ(Export(), 0);
  ASSERT_FALSE(host.ui.messages.empty());
  EXPECT_NE(host.ui.messages.back().text.find("MaxExport.cfg"), std::string::npos);
  EXPECT_EQ(host.Read(cfg)[0], 2);
}

TEST_F(ExporterTest, OptionBitsSetAndClearTheSmoothingOptions) {
  std::string cfg = host.cfgDir + "/MaxExport.cfg";
  ASSERT_TRUE(support::WriteFileAtomic(cfg, std::vector<uint8_t>{1, 0, 0, 0, 1, 1, 1}));
  ASSERT_EQ(Export(0x200, false), 1);  // no dialog although prompts are allowed
  EXPECT_TRUE(host.ui.dialogs.empty());
  EXPECT_EQ(host.Read(cfg), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0}));

  ASSERT_EQ(Export(0x300, false), 1);
  EXPECT_EQ(host.Read(cfg), (std::vector<uint8_t>{1, 0, 0, 0, 1, 0, 0}));

  ASSERT_EQ(Export(0xC00, false), 1);  // sets two, and the dialog comes up
  EXPECT_EQ(host.ui.dialogs.size(), 1u);
  EXPECT_EQ(host.Read(cfg), (std::vector<uint8_t>{1, 0, 0, 0, 1, 1, 1}));
}

TEST_F(ExporterTest, ScenePropertiesOverrideEverythingWhenPromptsAreSuppressed) {
  std::string cfg = host.cfgDir + "/MaxExport.cfg";
  host.scene.properties["SmoothWholeSceneTogether"] = 0;
  host.scene.properties["DistinguishLODs"] = 1;
  host.scene.properties["Note"] = std::string("nightly build");
  ASSERT_EQ(Export(0x100, true), 1);
  EXPECT_EQ(host.Read(cfg), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 1}));
  const uint8_t* info = &bytes[zef::kHeaderSize];
  EXPECT_EQ(support::LoadU32(info + 12), 14u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(info + 84)), "nightly build");
}

TEST_F(ExporterTest, DialogSetsOptionsAndCommentAndCancelReportsSuccessWithoutAFile) {
  host.ui.QueueDialog([](host::DialogModel& d) {
    EXPECT_EQ(d.title, "ZEF Exporter Config");
    EXPECT_EQ(d.Find(zefexport::IDC_USER_NAME)->text, "BUILDBOX\\artist");
    d.Find(zefexport::IDC_COMMENT)->text = "hello";
    d.Find(zefexport::IDC_SMOOTH_WHOLE)->value = 0;
    d.result = zefexport::IDC_OK;
  });
  ASSERT_EQ(Export(0, false), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[zef::kHeaderSize + 84])), "hello");
  EXPECT_FALSE(exporter.Options().smoothWholeScene);

  host.ui.QueueDialog([](host::DialogModel& d) { d.result = zefexport::IDC_CANCEL; });
  EXPECT_EQ(Export(0, false, "cancelled.zef"), 1);
  EXPECT_FALSE(support::FileExists(host.Path("cancelled.zef")));
}

TEST_F(ExporterTest, ExtensionIsLowerCasedButFoldersAreNot) {
  EXPECT_EQ(zefexport::LowerCaseExtension("C:\\Scenes\\Hero.ZEF"), "C:\\Scenes\\Hero.zef");
  EXPECT_EQ(zefexport::LowerCaseExtension("/Work/Dir.D/NAME"), "/Work/Dir.D/name");
  EXPECT_EQ(zefexport::LowerCaseExtension("NAME"), "name");
  ASSERT_EQ(exporter.DoExport(host.Path("Level.ZEF").c_str(), host, true, zefexport::kOptNoDialog), 1);
  EXPECT_TRUE(support::FileExists(host.Path("Level.zef")));
  EXPECT_FALSE(support::FileExists(host.Path("Level.ZEF")));
}

// Node names of the Node blocks directly under `parent`, in file order.
std::vector<std::string> ChildNodeNames(const zef::BlockInfo& parent) {
  std::vector<std::string> names;
  for (const auto& c : parent.children)
    if (c.id == zef::kNode) names.push_back(FieldValue(c, "name"));
  return names;
}

TEST_F(ExporterTest, SelectionModeHidesTheSubtreeOfAnUnselectedParent) {
  auto mesh = std::make_shared<MeshObject>(Triangle());
  auto& parent = host.scene.CreateNode("parent");
  parent.SetObject(mesh);
  auto& child = host.scene.CreateNode("child", &parent);
  child.SetObject(mesh);
  child.SetSelected(true);
  auto& other = host.scene.CreateNode("other");
  other.SetObject(std::make_shared<MeshObject>(Triangle()));
  other.SetSelected(true);

  ASSERT_EQ(Export(zefexport::kOptNoDialog | zefexport::kOptSelected), 1);
  ASSERT_NE(Root(), nullptr);
  EXPECT_EQ(ChildNodeNames(*Root()), std::vector<std::string>{"other"});
  EXPECT_EQ(FieldValue(*Root(), "children"), "1");
  EXPECT_EQ(support::LoadU32(&bytes[12]), 2u);  // the root and "other" pass the pre-pass
}

TEST_F(ExporterTest, ShapesAreReportedOnceAndDroppedWhileMeshesExport) {
  host.scene.CreateNode("line1").SetObject(std::make_shared<workbench::ShapeObject>());
  host.scene.CreateNode("box").SetObject(std::make_shared<MeshObject>(Triangle()));
  host.scene.CreateNode("line2").SetObject(std::make_shared<workbench::ShapeObject>());
  ASSERT_EQ(Export(), 1);
  ASSERT_EQ(host.ui.messages.size(), 1u);
  EXPECT_EQ(host.ui.messages[0].text, "You have some Shape(s) in the scene. Please delete or convert it.");
  EXPECT_EQ(host.ui.messages[0].caption, "User Error");
  EXPECT_EQ(host.ui.messages[0].icon, host::Icon::Error);
  EXPECT_TRUE(host.ui.messages[0].topmost);
  EXPECT_EQ(ChildNodeNames(*Root()), std::vector<std::string>{"box"});
}

TEST_F(ExporterTest, GeometryWithoutMeshIsSkippedWithItsChildren) {
  auto empty = std::make_shared<MeshObject>();
  auto& bare = host.scene.CreateNode("bare");
  bare.SetObject(empty);
  host.scene.CreateNode("hidden", &bare).SetObject(std::make_shared<MeshObject>(Triangle()));
  ASSERT_EQ(Export(), 1);
  EXPECT_TRUE(host.ui.messages.empty());
  EXPECT_TRUE(ChildNodeNames(*Root()).empty());

  auto mtl = std::make_shared<workbench::StandardMtl>("paint");
  bare.SetMtl(mtl);
  ASSERT_EQ(Export(), 1);
  ASSERT_EQ(host.ui.messages.size(), 1u);
  EXPECT_EQ(host.ui.messages[0].text, "The object bare doesn't have a mesh, but does have a material!");
  EXPECT_EQ(host.ui.messages[0].caption, "Max || Artist error");
}

TEST_F(ExporterTest, ChildrenOfADroppedNodeTakeItsPlaceAndAreCounted) {
  auto& point = host.scene.CreateNode("point");
  point.SetObject(HelperObject::Point());
  host.scene.CreateNode("a", &point).SetObject(std::make_shared<MeshObject>(Triangle()));
  host.scene.CreateNode("b", &point).SetObject(std::make_shared<MeshObject>(Triangle()));
  host.scene.CreateNode("c").SetObject(std::make_shared<MeshObject>(Triangle()));
  ASSERT_EQ(Export(), 1);
  EXPECT_EQ(ChildNodeNames(*Root()), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(FieldValue(*Root(), "children"), "3");
  EXPECT_TRUE(zef::ValidateZef(bytes, file).empty());
}

TEST_F(ExporterTest, CollisionMarkedNodeIsNotWrittenButItsChildrenAre) {
  auto& hull = host.scene.CreateNode("^Khull");
  hull.SetObject(std::make_shared<MeshObject>(Triangle()));
  hull.SetAppData(host::kZefExportClassId, host::kSceneExportClass, zefexport::kCollisionMarkSub, {1});
  host.scene.CreateNode("kid", &hull).SetObject(std::make_shared<MeshObject>(Triangle()));
  ASSERT_EQ(Export(), 1);
  EXPECT_EQ(ChildNodeNames(*Root()), std::vector<std::string>{"kid"});
  EXPECT_EQ(FieldValue(*Root(), "children"), "1");
  // The marks of an export never outlive it.
  EXPECT_EQ(hull.GetAppData(host::kZefExportClassId, host::kSceneExportClass, zefexport::kCollisionMarkSub),
            nullptr);
}

TEST_F(ExporterTest, ProgressWindowShowsTheFileAndIsClosedAtTheEnd) {
  host.scene.CreateNode("box").SetObject(std::make_shared<MeshObject>(Triangle()));
  ASSERT_EQ(Export(), 1);
  auto windows = host.ui.Windows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].model.title, out);
  EXPECT_TRUE(windows[0].closed);
  bool sawOptimizing = false, sawBox = false;
  for (const auto& e : windows[0].events) {
    if (e.kind == workbench::ModelessEvent::Kind::Text && e.text == "Optimizing") sawOptimizing = true;
    if (e.kind == workbench::ModelessEvent::Kind::Text && e.text == "box") sawBox = true;
  }
  EXPECT_TRUE(sawOptimizing);
  EXPECT_TRUE(sawBox);
}

TEST_F(ExporterTest, SecondExportOfTheSameSceneGivesIdenticalBytes) {
  auto mesh = std::make_shared<MeshObject>(Triangle());
  host.scene.CreateNode("one").SetObject(mesh);
  host.scene.CreateNode("two").SetObject(mesh);
  host::ViewportImage image;
  image.width = image.height = 64;
  image.pixels.assign(64 * 64 * 4, 0x80);
  image.driverName = "Software";
  host.viewport = image;
  ASSERT_EQ(Export(), 1);
  std::vector<uint8_t> first = bytes;
  ASSERT_EQ(Export(), 1);
  EXPECT_EQ(first, bytes);
  EXPECT_EQ(bytes[zef::kThumbnailOffset], 0x80);
}

}  // namespace
}  // namespace vorlan::testing
