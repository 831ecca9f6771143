#include "workbench/viewport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <random>

#include "support/file_io.h"
#include "workbench/materials.h"

namespace vorlan::workbench {
namespace {

using host::Matrix3;
using host::Mesh;
using host::Point3;

constexpr uint8_t kBg = 0x58;

// A square in the plane z = 0 (world), centred at `c`, half size `r`.
Mesh Quad(Point3 c, float r) {
  Mesh m;
  m.verts = {c + Point3{-r, -r, 0}, c + Point3{r, -r, 0}, c + Point3{r, r, 0}, c + Point3{-r, r, 0}};
  m.faces.push_back({.v = {0, 1, 2}});
  m.faces.push_back({.v = {0, 2, 3}});
  return m;
}

// A square facing the camera that looks down -Y from (0, -10, 0): the plane y = `y`.
Mesh FacingQuad(float y, float r, float zc = 0) {
  Mesh m;
  m.verts = {{-r, y, zc - r}, {r, y, zc - r}, {r, y, zc + r}, {-r, y, zc + r}};
  m.faces.push_back({.v = {0, 1, 2}});
  m.faces.push_back({.v = {0, 2, 3}});
  return m;
}

SceneNode& AddMesh(Scene& s, const std::string& name, Mesh m) {
  auto& n = s.CreateNode(name);
  n.SetObject(std::make_shared<MeshObject>(std::move(m)));
  return n;
}

// A camera at (0, -10, 0) looking along +Y, with Z up: its -Z axis points along +Y.
SceneNode& AddCamera(Scene& s, const std::string& name) {
  auto& c = s.CreateNode(name);
  c.SetObject(std::make_shared<CameraObject>());
  c.SetTransform(Matrix3({1, 0, 0}, {0, 0, 1}, {0, -1, 0}, {0, -10, 0}));
  return c;
}

const uint8_t* Pixel(const host::ViewportImage& img, int x, int rowFromBottom) {
  return &img.pixels[(static_cast<std::size_t>(rowFromBottom) * img.width + x) * 4];
}

bool IsBackground(const uint8_t* p) { return p[0] == kBg && p[1] == kBg && p[2] == kBg; }

int CountDrawn(const host::ViewportImage& img) {
  int n = 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) n += IsBackground(Pixel(img, x, y)) ? 0 : 1;
  return n;
}

// A fresh folder holding "checker.png", a 2x2 texture: red and green above, blue and yellow
// below. Returns the folder; the picture is at <folder>/checker.png.
std::string CheckerTextureFolder(const char* tag) {
  std::string tmpl = std::string("/tmp/vorlan_viewport_") + tag + "_XXXXXX";
  const std::string dir = ::mkdtemp(tmpl.data());
  host::ViewportImage texture;
  texture.width = texture.height = 2;
  texture.bitsPerPixel = 32;
  // Blue, green, red, alpha; the bottom row first.
  texture.pixels = {255, 0, 0,   255, 0, 255, 255, 255,   // blue, yellow
                    0,   0, 255, 255, 0, 255, 0,   255};  // red, green
  EXPECT_EQ(WriteViewportPng(texture, dir + "/checker.png"), "");
  return dir;
}

TEST(Viewport, EmptySceneIsBackgroundInTheHostLayout) {
  Scene s;
  auto img = RenderViewport(s);
  EXPECT_EQ(img.width, 256);
  EXPECT_EQ(img.height, 256);
  EXPECT_EQ(img.bitsPerPixel, 32);
  EXPECT_EQ(img.driverName, "Software");
  ASSERT_EQ(img.pixels.size(), 256u * 256u * 4u);
  EXPECT_EQ(CountDrawn(img), 0);
  EXPECT_EQ(Pixel(img, 0, 0)[3], 0xFF);
}

TEST(Viewport, FramesTheSceneFromTheThreeQuarterView) {
  Scene s;
  AddMesh(s, "ground", Quad({1000, 1000, 0}, 5));
  auto img = RenderViewport(s, {.width = 64, .height = 48});
  EXPECT_EQ(img.pixels.size(), 64u * 48u * 4u);
  // Framed wherever it lies: the centre is covered and the picture is not overfilled.
  EXPECT_FALSE(IsBackground(Pixel(img, 32, 24)));
  int drawn = CountDrawn(img);
  EXPECT_GT(drawn, 64 * 48 / 8);
  EXPECT_LT(drawn, 64 * 48);
}

TEST(Viewport, SameSceneGivesSameBytes) {
  auto build = [](Scene& s) {
    AddMesh(s, "a", Quad({0, 0, 0}, 1));
    auto& b = AddMesh(s, "b", Quad({0, 0, 0}, 0.5f));
    b.SetTransform(Matrix3::RotationX(0.7f) * Matrix3::Translation({0.3f, 0, 0.2f}));
  };
  Scene s1, s2;
  build(s1);
  build(s2);
  EXPECT_EQ(RenderViewport(s1).pixels, RenderViewport(s2).pixels);
}

TEST(Viewport, NearerSurfaceWinsWhateverTheDrawingOrder) {
  Scene nearOnly, nearFirst, farFirst;
  AddCamera(nearOnly, "cam");
  AddCamera(nearFirst, "cam");
  AddCamera(farFirst, "cam");
  AddMesh(nearOnly, "near", FacingQuad(0, 1));
  AddMesh(nearFirst, "near", FacingQuad(0, 1));
  AddMesh(nearFirst, "far", FacingQuad(5, 1));
  AddMesh(farFirst, "far", FacingQuad(5, 1));
  AddMesh(farFirst, "near", FacingQuad(0, 1));
  for (Scene* s : {&nearOnly, &nearFirst, &farFirst}) s->activeViewCamera = "cam";
  auto a = RenderViewport(nearOnly), b = RenderViewport(nearFirst), c = RenderViewport(farFirst);
  EXPECT_FALSE(IsBackground(Pixel(a, 128, 128)));
  EXPECT_EQ(a.pixels, b.pixels);
  EXPECT_EQ(a.pixels, c.pixels);
}

// Two threads each draw half of the faces; where they meet the picture must be the one that
// drawing every face in order gives, equal depths included (the earlier face keeps its pixel).
TEST(Viewport, TwoThreadsDrawTheSamePictureAsOne) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> coord(-2.0f, 2.0f);
  for (int round = 0; round < 12; ++round) {
    Scene s;
    Mesh soup;
    const int count = 20 + round * 37;
    for (int i = 0; i < 3 * count; ++i) soup.verts.push_back({coord(rng), coord(rng), coord(rng)});
    for (uint32_t i = 0; i < uint32_t(count); ++i) soup.faces.push_back({.v = {3 * i, 3 * i + 1, 3 * i + 2}});
    AddMesh(s, "first", soup);
    // The same triangles again under another name (another colour): every pixel of them is a
    // tie between the halves when the split falls between the two nodes.
    AddMesh(s, "again", soup);
    if (round % 3 == 2) {
      auto& turned = AddMesh(s, "turned", soup);
      turned.SetTransform(Matrix3::RotationX(0.3f * float(round)));
    }
    if (round % 4 == 3) AddCamera(s, "cam"), s.activeViewCamera = "cam";
    ViewportOptions one, two;
    one.threads = 1;
    two.threads = 2;
    one.width = two.width = 96 + round;
    one.height = two.height = 80;
    const host::ViewportImage a = RenderViewport(s, one), b = RenderViewport(s, two);
    ASSERT_GT(CountDrawn(a), 0) << "round " << round;
    EXPECT_EQ(a.pixels, b.pixels) << "round " << round;
  }
}

// A face that changes no pixel is passed over before it is lit and textured; the picture
// must be the one that drawing every face gives. Dense meshes of faces smaller than a
// pixel, faces across the near plane, degenerate and non-finite faces, ties between equal
// triangles and textured faces, seen from inside the geometry and from outside.
TEST(Viewport, PassingOverHiddenFacesKeepsThePicture) {
  const std::string dir = CheckerTextureFolder("hidden");
  const std::string png = dir + "/checker.png";
  auto mtl = std::make_shared<StandardMtl>("Checker");
  mtl->SetMap(1, std::make_shared<BitmapTex>(png, "Checker map"));

  std::mt19937 rng(11);
  std::uniform_real_distribution<float> coord(-3.0f, 3.0f), unit(0.0f, 1.0f);
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  for (int round = 0; round < 16; ++round) {
    Scene s;
    // A fine grid: most of its faces cover no pixel centre.
    Mesh grid;
    const uint32_t n = 60 + uint32_t(round) * 7;
    for (uint32_t j = 0; j <= n; ++j)
      for (uint32_t i = 0; i <= n; ++i)
        grid.verts.push_back(
            {float(i) / float(n) * 4 - 2, 0.2f * std::sin(float(i + j)), float(j) / float(n) * 4 - 2});
    host::MapChannel& uv = grid.Map(1);
    for (const Point3& v : grid.verts) uv.tverts.push_back({v.x * 0.25f + 0.5f, v.z * 0.25f + 0.5f, 0});
    for (uint32_t j = 0; j < n; ++j)
      for (uint32_t i = 0; i < n; ++i) {
        const uint32_t a = j * (n + 1) + i, b = a + 1, c = a + n + 1, d = c + 1;
        grid.faces.push_back({.v = {a, b, d}});
        grid.faces.push_back({.v = {a, d, c}});
        uv.tfaces.push_back({a, b, d});
        uv.tfaces.push_back({a, d, c});
      }
    SceneNode& textured = AddMesh(s, "grid", grid);
    if (round % 2 == 0) textured.SetMtl(mtl);
    AddMesh(s, "tie", grid);  // every pixel of it a tie with the first grid

    // A soup of random triangles, some degenerate, some with a vertex that is not finite.
    Mesh soup;
    for (int i = 0; i < 300; ++i) {
      Point3 p{coord(rng), coord(rng), coord(rng)};
      soup.verts.push_back(p);
      soup.verts.push_back(unit(rng) < 0.1f ? p : Point3{coord(rng), coord(rng), coord(rng)});
      soup.verts.push_back(unit(rng) < 0.05f   ? Point3{nan, 0, 0}
                           : unit(rng) < 0.05f ? Point3{inf, 1, 1}
                                               : Point3{coord(rng), coord(rng), coord(rng)});
    }
    for (uint32_t i = 0; i < 300; ++i) soup.faces.push_back({.v = {3 * i, 3 * i + 1, 3 * i + 2}});
    AddMesh(s, "soup", soup).SetTransform(Matrix3::RotationX(0.2f * float(round)));

    // From round 8 on, a camera stands inside the soup: many faces cross its near plane.
    if (round >= 8) {
      auto& cam = AddCamera(s, "cam");
      cam.SetTransform(Matrix3({1, 0, 0}, {0, 0, 1}, {0, -1, 0}, {0, float(round - 12) * 0.5f, 0}));
      s.activeViewCamera = "cam";
    }
    for (int threads : {1, 2}) {
      ViewportOptions every, passing;
      every.drawEveryFace = true;
      every.threads = passing.threads = threads;
      every.width = passing.width = 64 + round * 5;
      every.height = passing.height = 48 + round * 3;
      const host::ViewportImage a = RenderViewport(s, every), b = RenderViewport(s, passing);
      ASSERT_GT(CountDrawn(a), 0) << "round " << round;
      EXPECT_EQ(a.pixels, b.pixels) << "round " << round << ", threads " << threads;
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

TEST(Viewport, RowsRunFromTheBottomUp) {
  Scene s;
  AddCamera(s, "cam");
  AddMesh(s, "top", FacingQuad(0, 1, 2));  // above the line of sight
  auto img = RenderViewport(s, {.cameraNode = "cam"});
  int topHalf = 0, bottomHalf = 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      (y < img.height / 2 ? bottomHalf : topHalf) += IsBackground(Pixel(img, x, y)) ? 0 : 1;
  EXPECT_GT(topHalf, 0);
  EXPECT_EQ(bottomHalf, 0);
}

TEST(Viewport, CameraLookingAwaySeesNothing) {
  Scene s;
  auto& cam = AddCamera(s, "cam");
  cam.SetTransform(Matrix3({-1, 0, 0}, {0, 0, 1}, {0, 1, 0}, {0, -10, 0}));  // looking along -Y
  AddMesh(s, "q", FacingQuad(0, 1));
  EXPECT_EQ(CountDrawn(RenderViewport(s, {.cameraNode = "cam"})), 0);
  // A name that is not a camera falls back to the framing view.
  EXPECT_GT(CountDrawn(RenderViewport(s, {.cameraNode = "q"})), 0);
}

TEST(Viewport, CameraInsideGeometryClipsAtTheNearPlane) {
  Scene s;
  AddCamera(s, "cam");
  // A large floor under the camera that reaches behind it.
  Mesh floor = Quad({0, 0, -1}, 50);
  AddMesh(s, "floor", floor);
  auto img = RenderViewport(s, {.cameraNode = "cam"});
  EXPECT_FALSE(IsBackground(Pixel(img, 128, 10)));  // floor below the horizon
  EXPECT_TRUE(IsBackground(Pixel(img, 128, 250)));  // sky above it
}

TEST(Viewport, BadGeometryIsSkippedNotFatal) {
  Scene s;
  float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  Mesh bad;
  bad.verts = {{nan, 0, 0}, {1, 0, 0}, {0, 1, 0}, {inf, 1, 1}, {1e30f, -1e30f, 0}};
  bad.faces.push_back({.v = {0, 1, 2}});
  bad.faces.push_back({.v = {1, 2, 9}});  // index past the vertices
  bad.faces.push_back({.v = {1, 2, 3}});
  bad.faces.push_back({.v = {1, 2, 4}});
  bad.faces.push_back({.v = {1, 1, 1}});  // degenerate
  AddMesh(s, "bad", bad);
  auto& hidden = AddMesh(s, "scaled", Quad({0, 0, 0}, 1));
  hidden.SetTransform(Matrix3::Scale({0, 0, 0}));
  auto img = RenderViewport(s, {.width = -5, .height = 100000});
  EXPECT_EQ(img.width, 1);
  EXPECT_EQ(img.height, 4096);
  auto cam = ChooseCamera(s, {});
  EXPECT_TRUE(std::isfinite(cam.tm.GetTrans().x));
}

TEST(Viewport, WritesPngTopDownAndRefusesBadImages) {
  Scene s;
  AddMesh(s, "q", Quad({0, 0, 0}, 1));
  auto img = RenderViewport(s, {.width = 32, .height = 16});
  std::string path = std::string(VORLAN_BINARY_DIR) + "/viewport_test.png";
  EXPECT_EQ(WriteViewportPng(img, path), "");
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(support::ReadWholeFile(path, bytes));
  ASSERT_GT(bytes.size(), 24u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
            (std::vector<uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
  EXPECT_EQ(bytes[19], 32);  // width, big-endian in IHDR
  EXPECT_EQ(bytes[23], 16);
  std::filesystem::remove(path);

  img.pixels.pop_back();
  EXPECT_EQ(WriteViewportPng(img, path), path + ": not a 32-bit image of its stated size");
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace vorlan::workbench

namespace vorlan::workbench {
namespace {

// A quad that fills the camera's view, mapped once with a 2x2 texture: red and green above,
// blue and yellow below. Each quarter of the picture must take its texel's colour, which a
// renderer that ignores the texture (one colour per node) cannot do.
TEST(ViewportTexture, TexturedQuadShowsItsTexelsInEachQuarter) {
  const std::string dir = CheckerTextureFolder("tex");
  const std::string png = dir + "/checker.png";

  Scene s;
  Mesh m = FacingQuad(0, 4);
  host::MapChannel& uv = m.Map(1);
  uv.tverts = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  uv.tfaces = {{0, 1, 2}, {0, 2, 3}};
  SceneNode& quad = AddMesh(s, "Quad", m);
  auto mtl = std::make_shared<StandardMtl>("Checker");
  mtl->SetMap(1, std::make_shared<BitmapTex>(png, "Checker map"));
  quad.SetMtl(mtl);
  AddCamera(s, "Cam");
  ViewportOptions o;
  o.width = o.height = 64;
  o.cameraNode = "Cam";

  struct Expect {
    int x, yFromTop;
    int dominant;  // 0 red, 1 green, 2 blue, 3 red and green (yellow)
  };
  auto check = [&](const host::ViewportImage& img, bool textured) {
    for (Expect e : {Expect{16, 16, 0}, Expect{48, 16, 1}, Expect{16, 48, 2}, Expect{48, 48, 3}}) {
      const uint8_t* p = &img.pixels[((63 - e.yFromTop) * 64 + e.x) * 4];
      const int r = p[2], g = p[1], b = p[0];
      const bool match = e.dominant == 0   ? r > 100 && g < 40 && b < 40
                         : e.dominant == 1 ? g > 100 && r < 40 && b < 40
                         : e.dominant == 2 ? b > 100 && r < 40 && g < 40
                                           : r > 100 && g > 100 && b < 40;
      EXPECT_EQ(match, textured) << "at " << e.x << "," << e.yFromTop << ": " << r << " " << g << " " << b;
    }
  };
  check(RenderViewport(s, o), true);

  // The same quad with an unreadable texture file keeps the node's colour everywhere.
  mtl->SetMap(1, std::make_shared<BitmapTex>(dir + "/missing.png", "Missing"));
  check(RenderViewport(s, o), false);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

}  // namespace
}  // namespace vorlan::workbench
