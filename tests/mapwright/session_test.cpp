#include <gtest/gtest.h>

#include <bit>

#include "mapwright/image_files.h"
#include "mapwright/session_fixture.h"
#include "mapwright/uv_writeback.h"

namespace mw = vorlan::mapwright;
using vorlan::host::Point3;
using MapwrightSession = mw::testing::SessionFixture;

namespace {

mw::UvCorner Corner(mw::Session& s, int face, int corner, int texture = 0) {
  return s.editor.model.faces[std::size_t(face)].textures[std::size_t(texture)][std::size_t(corner)];
}

}  // namespace

TEST_F(MapwrightSession, RefusesWithTheMessageOfEachMissingPiece) {
  EXPECT_FALSE(session.Reload());
  auto& node = MeshNode(mw::testing::QuadMesh());
  MeshOf(node).faceSel.assign(2, 0);
  EXPECT_FALSE(session.Reload());

  MeshOf(node).faceSel.assign(2, 1);
  MeshOf(node).faces[1].matId = 1;
  auto multi = std::make_shared<vorlan::workbench::MultiMtl>("multi", 2);
  multi->subs[0] = Material("a", "");
  node.SetMtl(multi);
  EXPECT_FALSE(session.Reload());

  multi->subs[1] = vorlan::workbench::CreateMaterialByClassId(vorlan::host::kVexaMatClassId, "engine");
  EXPECT_FALSE(session.Reload());

  node.SetMtl(Material("plain", ""));
  settings.method = int(mw::MapMethod::Mesh);
  MeshOf(node).maps.clear();
  EXPECT_FALSE(session.Reload());

  EXPECT_EQ(Texts(), (std::vector<std::string>{"Select object to texture, please. [Info]",
                                               "Select faces, please. [Info]",
                                               "CreateSelFaceList(): pSubMtl = NULL ! [Error]",
                                               "You must use MAX's Standard materials [Error]",
                                               "You have selected object without mapping! [Error]"}));
  EXPECT_TRUE(session.editor.model.faces.empty());
}

TEST_F(MapwrightSession, PlanarMappingsProjectWorldCornersIntoTexturePixels) {
  vorlan::host::Mesh mesh;
  mesh.verts = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  mesh.faces = {{.v = {0, 1, 2}}};
  auto& node = MeshNode(mesh, Material("m", Bitmap("t.bmp", 64, 32)));
  node.SetTransform(vorlan::host::Matrix3::Translation({10, 0, 0}));
  settings.method = int(mw::MapMethod::Planar);
  struct {
    int axis;
    double u, v;  // of corner 0: (p.y, -p.z), (p.x, -p.z), (p.x, -p.y) times 64 and 32
  } cases[] = {{0, 2 * 64, -3 * 32}, {1, 11 * 64, -3 * 32}, {2, 11 * 64, -2 * 32}};
  for (auto c : cases) {
    ASSERT_TRUE(session.SetMethod(mw::MapMethod::Planar, c.axis));
    EXPECT_EQ(Corner(session, 0, 0).u, c.u) << c.axis;
    EXPECT_EQ(Corner(session, 0, 0).v, c.v) << c.axis;
  }
  EXPECT_EQ(session.SizeText(), "64 x 32");
  EXPECT_EQ(session.FacesCountText(), "1");
}

TEST_F(MapwrightSession, FacesAreGroupedByTheirSubMaterial) {
  vorlan::host::Mesh mesh = mw::testing::QuadMesh();
  mesh.verts.push_back({5, 5, 5});
  mesh.faces.push_back({.v = {1, 2, 4}});
  mesh.faces[1].matId = 1;
  mesh.faces[2].matId = 2;  // wraps round to the first sub-material
  mesh.Map(1).tfaces.push_back({1, 2, 3});
  auto multi = std::make_shared<vorlan::workbench::MultiMtl>("multi", 2);
  multi->subs[0] = Material("stone", Bitmap("stone.bmp", 16, 16));
  auto two = Material("wood", Bitmap("wood.bmp", 8, 8));
  two->SetMap(2, std::make_shared<vorlan::workbench::BitmapTex>(Bitmap("bump.bmp", 4, 4)));
  multi->subs[1] = two;
  MeshNode(mesh, multi);
  ASSERT_TRUE(session.Reload());
  auto& groups = session.editor.model.groups;
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0].name, "stone");
  EXPECT_EQ(groups[0].faces, (std::vector<int>{0, 2}));
  EXPECT_EQ(groups[1].faces, (std::vector<int>{1}));
  ASSERT_EQ(groups[1].textures.size(), 2u);
  EXPECT_EQ(groups[1].textures[1].width, 4);
  EXPECT_EQ(session.editor.model.faces[1].textureCount, 2);
  EXPECT_EQ(session.images.Count(), 3u);
}

TEST_F(MapwrightSession, UnfoldLaysTheSelectedFacesFlat) {
  vorlan::host::Mesh mesh;
  // Two faces of a box meeting at a right angle along the edge x = 0..1, y = 0, z = 0.
  mesh.verts = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 1}};
  mesh.faces = {{.v = {0, 1, 2}}, {.v = {1, 0, 3}}};
  MeshNode(mesh, Material("m", Bitmap("t.bmp", 10, 10)));
  settings.method = int(mw::MapMethod::Unfold);
  ASSERT_TRUE(session.Reload());
  // The second face is laid across the shared edge; its far corner is one unit from it.
  mw::UvCorner far = Corner(session, 1, 2);
  EXPECT_NEAR(far.u, 0, 1e-4);
  EXPECT_NEAR(std::abs(far.v), 10, 1e-4);
  EXPECT_LT(far.v * Corner(session, 0, 2).v, 0);  // on the other side of the edge
}

TEST_F(MapwrightSession, UpdateWithoutEditsLeavesTheMeshAsItWasBitForBit) {
  vorlan::host::Mesh mesh = mw::testing::QuadMesh();
  mesh.Map(1).tverts[2] = {0.3333333f, -0.0f, 0.25f};  // w and -0 survive too
  auto& node = MeshNode(mesh, Material("m", Bitmap("odd.bmp", 301, 177)));
  settings.method = int(mw::MapMethod::Mesh);
  ASSERT_TRUE(session.Reload());
  ASSERT_TRUE(session.UpdateUVWs());
  const auto& before = mesh.Map(1);
  const auto& after = MeshOf(node).Map(1);
  ASSERT_EQ(after.tverts.size(), before.tverts.size());
  for (std::size_t i = 0; i < before.tverts.size(); ++i)
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(std::bit_cast<uint32_t>(after.tverts[i][k]), std::bit_cast<uint32_t>(before.tverts[i][k]));
  EXPECT_EQ(after.tfaces, before.tfaces);
}

TEST_F(MapwrightSession, UpdateSplitsAMapVertexOnlyWhereItsCornersPartWays) {
  auto& node = MeshNode(mw::testing::QuadMesh(), Material("m", Bitmap("t.bmp", 100, 100)));
  settings.method = int(mw::MapMethod::Mesh);
  ASSERT_TRUE(session.Reload());
  session.editor.vertexMode = true;
  // Map vertex 2 is shared by both faces; moving one of its corners gives it a new vertex.
  session.editor.model.faces[1].textures[0][1].selected = true;
  ASSERT_TRUE(session.editor.Translate(10, 0));
  ASSERT_TRUE(session.UpdateUVWs());
  auto& map = MeshOf(node).Map(1);
  ASSERT_EQ(map.tverts.size(), 5u);
  EXPECT_EQ(map.tfaces[0], (std::array<uint32_t, 3>{0, 1, 2}));
  EXPECT_EQ(map.tfaces[1], (std::array<uint32_t, 3>{0, 4, 3}));
  EXPECT_FLOAT_EQ(map.tverts[4].x, 0.8f);
  EXPECT_FLOAT_EQ(map.tverts[4].y, 0.9f);
  // Moving both corners together moves the shared vertex itself.
  session.editor.model.faces[0].textures[0][2].selected = true;
  session.editor.model.faces[1].textures[0][1].selected = false;
  session.editor.Translate(10, 0);
  session.UpdateUVWs();
  EXPECT_EQ(map.tverts.size(), 5u);
  EXPECT_FLOAT_EQ(map.tverts[2].x, 0.8f);
}

TEST_F(MapwrightSession, TheConfiguredTexelsFactorScalesOnReload) {
  MeshNode(mw::testing::QuadMesh(), Material("m", Bitmap("t.bmp", 100, 100)));
  settings.method = int(mw::MapMethod::Mesh);
  settings.texels = 2.0f;
  ASSERT_TRUE(session.Reload());
  EXPECT_EQ(session.TexelsText(), "2.00000");
  auto r = *session.editor.Selection();
  EXPECT_NEAR(r.Width(), 120, 1e-4);   // 0.6 of 100 pixels, doubled
  EXPECT_NEAR(r.CentreX(), 40, 1e-4);  // about the centre
}

TEST_F(MapwrightSession, KeysGiveTheirCommandsExceptWhileAFieldHasTheKeyboard) {
  MeshNode(mw::testing::QuadMesh(), Material("m", Bitmap("t.bmp", 100, 100)));
  settings.method = int(mw::MapMethod::Mesh);
  ASSERT_TRUE(session.Reload());
  double u0 = Corner(session, 0, 0).u;
  EXPECT_FALSE(session.HandleKey(mw::Key::Right, {}, true));
  EXPECT_EQ(Corner(session, 0, 0).u, u0);
  EXPECT_TRUE(session.HandleKey(mw::Key::Right, {.shift = true}));
  EXPECT_DOUBLE_EQ(Corner(session, 0, 0).u, u0 + 0.1);
  session.HandleKey(mw::Key::LeftBracket, {});
  EXPECT_EQ(Corner(session, 0, 0).u, u0);
  session.HandleKey(mw::Key::RightBracket, {});
  EXPECT_DOUBLE_EQ(Corner(session, 0, 0).u, u0 + 0.1);

  session.HandleKey(mw::Key::M, {});
  EXPECT_EQ(session.tool, mw::Tool::Move);
  session.HandleKey(mw::Key::Q, {});
  EXPECT_EQ(session.QuickModeText(), "On");
  session.HandleKey(mw::Key::M, {});  // choosing the tool again puts it down and ends quick mode
  EXPECT_EQ(session.tool, mw::Tool::None);
  EXPECT_EQ(session.QuickModeText(), "Off");

  session.HandleKey(mw::Key::NumpadPlus, {});
  session.HandleKey(mw::Key::NumpadPlus, {});
  EXPECT_EQ(session.view.Zoom(), 3);
  for (int i = 0; i < 4; ++i) session.HandleKey(mw::Key::NumpadMinus, {});
  EXPECT_EQ(session.view.Zoom(), 1);
  EXPECT_FALSE(session.HandleKey(mw::Key::Other, {}));
}

TEST_F(MapwrightSession, QuickModeDragsMoveScaleAndRotate) {
  MeshNode(mw::testing::QuadMesh(), Material("m", Bitmap("t.bmp", 100, 100)));
  settings.method = int(mw::MapMethod::Mesh);
  ASSERT_TRUE(session.Reload());
  session.Execute(mw::Command::QuickMode);
  auto start = *session.editor.Selection();
  session.MouseDown(mw::MouseButton::Left, 500, 500, {});
  session.MouseMove(503, 502, {});
  session.MouseUp(mw::MouseButton::Left, 505, 502, {});
  auto moved = *session.editor.Selection();
  EXPECT_DOUBLE_EQ(moved.minX, start.minX + 5);
  EXPECT_DOUBLE_EQ(moved.minY, start.minY + 2);
  EXPECT_EQ(session.editor.history.Size(), 1u);  // one drag, one step

  session.MouseDown(mw::MouseButton::Left, 500, 500, {.ctrl = true});
  session.MouseUp(mw::MouseButton::Left, 550, 500, {.ctrl = true});
  EXPECT_FLOAT_EQ(session.editor.CurrentTexels(), 1.5f);
  EXPECT_NEAR(session.editor.Selection()->Width(), moved.Width() * 1.5, 1e-4);

  mw::DragStep r =
      mw::MouseDragStep(mw::Tool::None, mw::ScaleKind::Uniform, true, mw::MouseButton::Right, {}, 10, 0);
  EXPECT_EQ(r.kind, mw::DragStep::Rotate);
  EXPECT_FLOAT_EQ(r.angle, -0.1f);
  mw::DragStep fine = mw::MouseDragStep(mw::Tool::Rotate, mw::ScaleKind::Uniform, false,
                                        mw::MouseButton::Left, {.shift = true}, -3, 7);
  EXPECT_FLOAT_EQ(fine.angle, 0.0003f);
  mw::DragStep pan =
      mw::MouseDragStep(mw::Tool::Move, mw::ScaleKind::Uniform, false, mw::MouseButton::Middle, {}, 4, 5);
  EXPECT_EQ(pan.kind, mw::DragStep::Pan);
  mw::DragStep vertical =
      mw::MouseDragStep(mw::Tool::Scale, mw::ScaleKind::Vertical, false, mw::MouseButton::Left, {}, 2, 0);
  EXPECT_EQ(vertical.scaleKind, mw::ScaleKind::Vertical);
  EXPECT_DOUBLE_EQ(vertical.texelsDelta, 0.02);
}

TEST_F(MapwrightSession, AClickPicksTheCornersInASevenPixelBox) {
  MeshNode(mw::testing::QuadMesh(), Material("m", Bitmap("t.bmp", 100, 100)));
  settings.method = int(mw::MapMethod::Mesh);
  ASSERT_TRUE(session.Reload());
  // Map vertex 1 (0.7, 0.2) is at texture (70, -20), drawn at view (70, 80).
  EXPECT_EQ(session.PickAt(72, 78), 1);
  EXPECT_TRUE(Corner(session, 0, 1).selected);
  EXPECT_EQ(session.PickAt(74, 80), 0);
  EXPECT_FALSE(Corner(session, 0, 1).selected);
  // Vertex 0 (10, 80) is shared by both faces: both corners are picked.
  EXPECT_EQ(session.PickAt(10, 80), 2);
}

TEST_F(MapwrightSession, MapChannelFieldChecksItsRangeAndOffersToCreateAChannel) {
  auto& node = MeshNode(mw::testing::QuadMesh(), Material("m", Bitmap("t.bmp", 100, 100)));
  settings.method = int(mw::MapMethod::Mesh);
  ASSERT_TRUE(session.Reload());
  session.EnterMapChannel("100");
  session.EnterMapChannel("0");
  ui.QueueAnswer(vorlan::host::Answer::Yes);
  session.EnterMapChannel("5");
  EXPECT_TRUE(MeshOf(node).HasMap(5));
  EXPECT_EQ(session.MapChannel(), 5);
  ASSERT_EQ(ui.messages.size(), 3u);
  EXPECT_EQ(ui.messages[0].text, "Only values in interval 1 - 99 are valid.");
  EXPECT_EQ(ui.messages[2].text, "The Mapping channel 5 does not exist. Would you like to create it ?");
  EXPECT_EQ(ui.messages[2].caption, "Create MapChannel?");
  EXPECT_EQ(ui.messages[2].buttons, vorlan::host::Buttons::YesNoCancel);

  session.EnterOutputFactor("abc");
  EXPECT_EQ(ui.messages.back().text, "Wrong number format");
  session.EnterOutputFactor("0.5");
  EXPECT_EQ(session.OutputFactorText(), "0.50");
  EXPECT_FLOAT_EQ(MeshOf(node).Map(5).tverts[MeshOf(node).Map(5).tfaces[0][1]].x, 0.35f);
}

TEST_F(MapwrightSession, ThePenPaintsIntoThePictureAndItsSavedCopy) {
  std::string file = Bitmap("t.bmp", 8, 8);
  MeshNode(mw::testing::QuadMesh(), Material("m", file));
  settings.method = int(mw::MapMethod::Mesh);
  settings.lineColor = mw::Rgb(255, 0, 0);
  ASSERT_TRUE(session.Reload());
  session.view.SetZoom(2);
  session.Execute(mw::Command::ToolPen);
  session.MouseDown(mw::MouseButton::Left, 0, 0, {});
  session.MouseMove(7, 0, {});  // image pixel (3, 0)
  session.MouseUp(mw::MouseButton::Left, 7, 0, {});
  mw::Image& img = *session.editor.CurrentTexture()->image;
  for (int x = 0; x < 8; ++x) EXPECT_EQ(img.PixelAt(x, 0), x <= 3 ? 0x0000FFu : 0xFFFFFFu) << x;
  EXPECT_EQ(img.savedCopy, img.pixels);
  const int redraws = ip.RedrawCount();
  ASSERT_TRUE(session.SaveTexture());
  EXPECT_GT(ip.RedrawCount(), redraws) << "the host's views show the saved texture";
  auto again = mw::LoadImageFile(file, ui);
  EXPECT_EQ(again->pixels, img.pixels);
}
