// The workbench's own OBJ reader against Assimp's, which stays the reference: the same
// scene (document text, warnings, counts) from corpus files, from many random files and from
// cut-short files, and the reader taking the files it is meant for rather than giving up.
#include "interchange/obj_reader.h"

#include <gtest/gtest.h>

#include <random>

#include "interchange/import_parts.h"
#include "interchange/test_files.h"
#include "workbench/materials_document.h"
#include "workbench/scene.h"
#include "workbench/scene_document.h"

namespace vorlan::testing {
namespace {

using workbench::ImportOptions;
using workbench::ImportResult;
namespace ix = workbench::interchange;

struct Imported {
  ImportResult result;
  std::string document;
};

Imported ImportBy(const std::string& path, bool own, const ImportOptions& options = {}) {
  workbench::RegisterMaterialDocumentCodec();
  Imported out;
  workbench::Scene scene;
  out.result = own ? workbench::ImportInterchange(path, scene, options)
                   : ix::ImportThroughAssimp(path, scene, options);
  std::string error;
  out.document = workbench::SceneDocumentText(scene, error);
  EXPECT_EQ(error, "");
  return out;
}

// Both routes give the same scene; returns whether the own reader took the file.
bool SameByBothRoutes(const std::string& path, const ImportOptions& options = {}) {
  std::string why;
  const bool taken = ix::ReadObjScene(path, why) != nullptr;
  const Imported own = ImportBy(path, true, options), reference = ImportBy(path, false, options);
  EXPECT_EQ(own.result.ok, reference.result.ok) << path;
  EXPECT_EQ(own.result.error, reference.result.error) << path;
  EXPECT_EQ(own.result.warnings, reference.result.warnings) << path;
  EXPECT_EQ(own.result.counts.nodes, reference.result.counts.nodes) << path;
  EXPECT_EQ(own.result.counts.meshes, reference.result.counts.meshes) << path;
  EXPECT_EQ(own.result.counts.triangles, reference.result.counts.triangles) << path;
  EXPECT_EQ(own.result.counts.materials, reference.result.counts.materials) << path;
  EXPECT_EQ(own.result.counts.textures, reference.result.counts.textures) << path;
  if (own.document != reference.document) {
    std::size_t at = 0;
    while (at < own.document.size() && at < reference.document.size() &&
           own.document[at] == reference.document[at])
      ++at;
    const std::size_t from = at > 300 ? at - 300 : 0;
    ADD_FAILURE() << path << (taken ? " (own reader)" : " (gave up: " + why + ")") << " documents differ:\n"
                  << own.document.substr(from, 400) << "\n--- Assimp's:\n"
                  << reference.document.substr(from, 400);
  }
  if (!taken && std::getenv("OBJ_WHY")) std::printf("gave up: %s\n", why.c_str());
  return taken;
}

TEST(ObjReader, CorpusFilesComeOutAsAssimpMakesThem) {
  for (const char* file : {"obj/spider/spider.obj", "obj/wuson/WusonOBJ.obj"}) {
    EXPECT_TRUE(SameByBothRoutes(AssetPath(file))) << file;
    ImportOptions scaled;
    scaled.scale = 2.5f;
    scaled.upAxis = ImportOptions::Z;
    SameByBothRoutes(AssetPath(file), scaled);
  }
}

// The shape of the production-size benchmark file, small: grids of triangles with texture
// vertices and normals, one object per grid, materials in turn.
TEST(ObjReader, GridObjectsComeOutAsAssimpMakesThem) {
  TempDir dir;
  WriteText(dir.File("grid.mtl"), "newmtl m0\nKd 1 0 0\nnewmtl m1\nKd 0 1 0\nnewmtl m2\nKd 0 0 1\n");
  std::string s = "mtllib grid.mtl\n";
  const int n = 12;
  int base = 1;
  for (int o = 0; o < 7; ++o) {
    s += "o part" + std::to_string(o) + "\nusemtl m" + std::to_string(o % 3) + "\n";
    char buf[128];
    for (int j = 0; j <= n; ++j)
      for (int i = 0; i <= n; ++i) {
        std::snprintf(buf, sizeof buf, "v %d %d %.3f\nvt %.5f %.5f\nvn 0 0 1\n", o * (n + 2) + i, j,
                      std::sin(i * 0.1) * std::cos(j * 0.1), double(i) / n, double(j) / n);
        s += buf;
      }
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const int a = base + j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
        auto corner = [](int k) {
          return " " + std::to_string(k) + "/" + std::to_string(k) + "/" + std::to_string(k);
        };
        // Triangles in the first objects, quads in the others.
        if (o < 4)
          s += "f" + corner(a) + corner(b) + corner(c) + "\nf" + corner(a) + corner(c) + corner(d) + "\n";
        else
          s += "f" + corner(a) + corner(b) + corner(c) + corner(d) + "\n";
      }
    base += (n + 1) * (n + 1);
  }
  WriteText(dir.File("grid.obj"), s);
  EXPECT_TRUE(SameByBothRoutes(dir.File("grid.obj")));
}

TEST(ObjReader, NumbersParseToAssimpsFloats) {
  // Shapes Assimp rounds its own way (long fractions, exponents) beside plain ones.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> scale(-8, 8), form(0, 7);
  std::string obj;
  for (int i = 0; i < 3000; ++i) {
    obj += "v";
    for (int k = 0; k < 3; ++k) {
      const double x = unit(rng) * std::pow(10.0, scale(rng));
      char buf[64];
      static const char* kForms[] = {"%.6f", "%.9g", "%.17g", "%e", "%.3E", "%.12f", "%.20f", "%.16e"};
      std::snprintf(buf, sizeof buf, kForms[form(rng)], x);
      obj += " " + std::string(buf);
    }
    obj += "\n";
  }
  // Numbers whose 16th fraction digit would round them to the next float: Assimp reads 15.
  std::uniform_real_distribution<float> fraction(0.01f, 0.99f);
  for (int i = 0; i < 300; ++i) {
    const float f = fraction(rng);
    char mid[64];
    std::snprintf(mid, sizeof mid, "%.25f", (double(f) + double(std::nextafter(f, 1.0f))) / 2);
    std::string t(mid, 2 + 15);
    t += mid[2 + 15] == '9' ? "0" : "9";
    obj += "v " + t + " " + t + " " + t + "\n";
  }
  obj += "o numbers\n";
  for (int i = 1; i + 2 <= 3300; i += 3)
    obj += "f " + std::to_string(i) + " " + std::to_string(i + 1) + " " + std::to_string(i + 2) + "\n";
  TempDir dir;
  WriteText(dir.File("numbers.obj"), obj);
  std::string why;
  EXPECT_NE(ix::ReadObjScene(dir.File("numbers.obj"), why), nullptr) << why;
  EXPECT_TRUE(SameByBothRoutes(dir.File("numbers.obj")));

  float f = 0;
  for (const char* refused : {".5", "1e", "nan", "0x10", "1.5f", "--1", "1234567890123456", "1e31",
                              "1e-32345678901234", "1e100", ""})
    EXPECT_FALSE(ix::ParseObjFloat(refused, f)) << refused;
  ASSERT_TRUE(ix::ParseObjFloat("-0", f));
  EXPECT_TRUE(std::signbit(f));
}

// A random OBJ file in the forms files take: objects and groups, materials set at their
// start, texture vertices and normals present, missing or mixed, negative indices,
// smoothing statements, comments, CRLF, spacing, materials changing inside objects; now and
// then something the reader leaves to Assimp (polygons, lines, an unknown material).
std::string RandomObj(std::mt19937& rng, bool withLibrary) {
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  auto number = [&]() {
    static const char* kForms[] = {"%.4f", "%.7g", "%e", "%.0f", "%.6f"};
    char buf[32];
    std::snprintf(buf, sizeof buf, kForms[pick(5)], std::uniform_real_distribution<double>(-3, 3)(rng));
    return std::string(buf);
  };
  const std::string eol = pick(4) == 0 ? "\r\n" : "\n";
  const std::string gap = pick(5) == 0 ? "  " : " ";
  const bool oddities = pick(3) == 0;
  const bool uvw = pick(4) == 0;
  std::string s = pick(2) ? "# random" + eol : "";
  // The library now and then after the first objects: objects made before it take its last
  // material.
  const int libraryAt = withLibrary ? pick(3) : -1;
  std::size_t v = 0, vt = 0, vn = 0;
  const int objects = 1 + pick(5);
  for (int o = 0; o < objects; ++o) {
    if (o == libraryAt) s += "mtllib lib.mtl" + eol;
    const int nv = 3 + pick(6);
    for (int i = 0; i < nv; ++i) {
      s += "v" + gap + number() + gap + number() + gap + number() + (pick(8) == 0 ? " " : "") + eol;
      if (pick(4))
        s +=
            "vt " + number() + " " + number() + (uvw && pick(2) ? pick(2) ? " 0" : " " + number() : "") + eol;
      if (pick(4)) {
        // Normals of all kinds: unit, zero, repeated.
        s += pick(6) == 0   ? "vn 0 0 0" + eol
             : pick(3) == 0 ? "vn 0 0 1" + eol
                            : "vn " + number() + " " + number() + " " + number() + eol;
      }
      v++;
    }
    for (; vt < v; ++vt) s += "vt 0.5 0.25" + eol;
    for (; vn < v; ++vn) s += "vn 0 1 0" + eol;
    // Names from a small pool, so that objects and groups meet their own names again.
    for (int k = o > 0 ? 1 + pick(2) : pick(3); k > 0; --k) {
      s += std::string(pick(2) ? "o" : "g") + " " +
           (pick(6) == 0 ? "default" : "part" + std::to_string(pick(4))) + eol;
      if (withLibrary && o >= libraryAt && pick(3)) s += "usemtl m" + std::to_string(pick(3)) + eol;
    }
    if (pick(3) == 0) s += std::string(pick(2) ? "s 1" : "s off") + eol;
    const int faces = pick(6);
    const int shape = oddities && pick(4) == 0 ? 4 : pick(4);  // 4: mixed per corner
    for (int f = 0; f < faces; ++f) {
      const int corners = oddities && pick(10) == 0 ? 4 : 3;
      s += "f";
      for (int k = 0; k < corners; ++k) {
        const int cshape = shape == 4 ? pick(4) : shape;
        const std::size_t i = v - static_cast<std::size_t>(pick(nv));  // 1-based, this object's
        auto ref = [&](std::size_t idx, std::size_t count) {
          return pick(3) == 0 ? "-" + std::to_string(count - idx + 1) : std::to_string(idx);
        };
        s += gap + ref(i, v);
        if (cshape == 1) s += "/" + ref(i, vt);
        if (cshape == 2) s += "//" + ref(i, vn);
        if (cshape == 3) s += "/" + ref(i, vt) + "/" + ref(i, vn);
      }
      s += eol;
      if (pick(12) == 0) s += "# a comment" + eol;
      // Materials changing between faces of an object, now and then to the same one.
      if (withLibrary && o >= libraryAt && pick(5) == 0) s += "usemtl m" + std::to_string(pick(3)) + eol;
    }
    if (oddities && pick(6) == 0) s += "usemtl unknown" + eol + "f 1 2 3" + eol;
    if (oddities && pick(10) == 0) s += "l 1 2" + eol;
  }
  return s;
}

TEST(ObjReader, RandomFilesComeOutAsAssimpMakesThem) {
  TempDir dir;
  WriteText(dir.File("lib.mtl"),
            "newmtl m0\nKd 1 0 0\nKa 0.1 0.1 0.1\nNs 20\nmap_Kd red.png\n\n"
            "newmtl m1\nKd 0 1 0\nd 0.5\nillum 2\nmap_bump bump.png\n"
            "# comment\nnewmtl m2\nKs 0.5 0.5 0.5\nKe 0.1 0.2 0.3\nmap_Ks shine.png\nmap_d mask.png\n");
  std::mt19937 rng(std::getenv("OBJ_SEED") ? std::atoi(std::getenv("OBJ_SEED")) : 11);
  int taken = 0;
  const int files = std::getenv("OBJ_FILES") ? std::atoi(std::getenv("OBJ_FILES")) : 300;
  for (int i = 0; i < files; ++i) {
    const std::string path = dir.File("r" + std::to_string(i) + ".obj");
    WriteText(path, RandomObj(rng, i % 3 != 0));
    if (SameByBothRoutes(path)) ++taken;
    if (::testing::Test::HasFailure()) {
      ADD_FAILURE() << "first differing file kept at " << path + ".failed";
      std::filesystem::copy_file(path, "/tmp/obj_reader_failed.obj",
                                 std::filesystem::copy_options::overwrite_existing);
      break;
    }
  }
  // Most files are of the kinds the reader is for: it must not give up on them.
  EXPECT_GT(taken, files / 2);
}

// Quads of every kind: convex and flat (taken), concave, twisted, thin, with repeated or
// lined-up corners (mostly left to Assimp, whose split they are), in random orientations.
TEST(ObjReader, QuadsComeOutAsAssimpMakesThem) {
  std::mt19937 rng(std::getenv("OBJ_SEED") ? std::atoi(std::getenv("OBJ_SEED")) : 5);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  TempDir dir;
  int taken = 0;
  const int files = std::getenv("OBJ_FILES") ? std::atoi(std::getenv("OBJ_FILES")) : 40;
  for (int file = 0; file < files; ++file) {
    std::string s = "o quads\n";
    // A random frame: the quads lie in its first two axes.
    const double a = unit(rng) * 3, b = unit(rng) * 3;
    const double ax[3] = {std::cos(a), std::sin(a), 0},
                 ay[3] = {-std::sin(a) * std::cos(b), std::cos(a) * std::cos(b), std::sin(b)};
    const double az[3] = {std::sin(a) * std::sin(b), -std::cos(a) * std::sin(b), std::cos(b)};
    const int quads = 1 + pick(8);
    for (int q = 0; q < quads; ++q) {
      const int kind = pick(6);
      double pts[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
      for (auto& p : pts) p[0] += unit(rng) * 0.3, p[1] += unit(rng) * 0.3;
      if (kind == 1) pts[pick(4)][0] = pts[pick(4)][1] = 0.5;              // concave or crossed
      if (kind == 2) pts[pick(4)][2] = unit(rng) * 0.5;                    // twisted
      if (kind == 3) pts[2][0] = pts[1][0], pts[2][1] = pts[1][1] + 1e-5;  // nearly repeated
      if (kind == 4)
        for (int k = 0; k < 3; ++k) pts[1][k] = (pts[0][k] + pts[2][k]) / 2;  // lined up
      for (auto& p : pts) {
        char buf[96];
        double out[3];
        for (int k = 0; k < 3; ++k) out[k] = (p[0] * ax[k] + p[1] * ay[k] + p[2] * az[k]) * 10 + q * 3;
        std::snprintf(buf, sizeof buf, "v %.6f %.6f %.6f\nvt %.4f %.4f\n", out[0], out[1], out[2], p[0],
                      p[1]);
        s += buf;
      }
      const int base = q * 4 + 1, first = pick(4);
      s += "f";
      for (int k = 0; k < 4; ++k)
        s += " " + std::to_string(base + (first + k) % 4) + "/" + std::to_string(base + (first + k) % 4);
      s += "\n";
    }
    const std::string path = dir.File("q" + std::to_string(file) + ".obj");
    WriteText(path, s);
    taken += SameByBothRoutes(path);
  }
  EXPECT_GT(taken, 0);
}

TEST(ObjReader, MaterialLibrariesComeOutAsAssimpMakesThem) {
  TempDir dir;
  const std::string obj =
      "mtllib lib.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
      "o a\nusemtl A\nf 1/1 2/2 3/3\no b\nusemtl B\nf 1/1 2/2 3/3\no c\nf 3 2 1\n";
  WriteText(dir.File("m.obj"), obj);
  const char* libraries[] = {
      "newmtl A\nKa 0.1 0.2 0.3\nKd 0.4 0.5 0.6\nKs 0.7 0.8 0.9\nKe 0.1 0.1 0.1\nNs 12.5\nNi 1.45\nd 0.75\n"
      "illum 2\nmap_Kd diff.png\nmap_Ka amb.png\nmap_Ks shine.png\nmap_Ke emis.png\nmap_d alpha.png\n"
      "map_Ns shin.png\nbump bump.png\ndisp disp.png\nnewmtl B\n",
      "newmtl B\nKd 1 1 1\nnewmtl A\nmap_Bump b.png\n",
      // Left to Assimp: options on a map, a repeated statement, unknown statements.
      "newmtl A\nmap_Kd -s 2 2 1 d.png\nnewmtl B\n",
      "newmtl A\nKd 1 0 0\nKd 0 1 0\nnewmtl B\n",
      "newmtl A\nTr 0.25\nnewmtl B\nPr 0.5\n",
  };
  int taken = 0;
  for (const char* lib : libraries) {
    WriteText(dir.File("lib.mtl"), lib);
    taken += SameByBothRoutes(dir.File("m.obj"));
  }
  EXPECT_EQ(taken, 2);
  // A library that is not there is Assimp's to complain about.
  std::filesystem::remove(dir.File("lib.mtl"));
  EXPECT_FALSE(SameByBothRoutes(dir.File("m.obj")));
}

TEST(ObjReader, CutShortFilesNeverCrashAndStillMatch) {
  const std::vector<uint8_t> bytes = ReadBytes(AssetPath("obj/spider/spider.obj"));
  ASSERT_FALSE(bytes.empty());
  TempDir dir;
  const std::string path = dir.File("spider.obj");
  std::filesystem::copy_file(AssetPath("obj/spider/spider.mtl"), dir.File("spider.mtl"));
  std::mt19937 rng(3);
  for (int i = 0; i < 40; ++i) {
    const std::size_t cut = std::uniform_int_distribution<std::size_t>(0, bytes.size())(rng);
    WriteText(path, std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)));
    SameByBothRoutes(path);
  }
}

TEST(ObjReader, FilesItLeavesToAssimp) {
  TempDir dir;
  const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n";
  const std::pair<const char*, std::string> cases[] = {
      {"crossed quad", tri + "o q\nf 1 2 3 4\n"},
      {"pentagon", tri + "v 2 0 0\no q\nf 1 2 5 4 3\n"},
      {"line", tri + "o q\nl 1 2\n"},
      {"colours", "v 0 0 0 1 0 0\nv 1 0 0 1 0 0\nv 0 1 0 1 0 0\no q\nf 1 2 3\n"},
      {"unknown material", tri + "o q\nf 1 2 3\nusemtl x\nf 2 4 3\n"},
      {"zero index", tri + "o q\nf 0 1 2\n"},
      {"past the end", tri + "o q\nf 1 2 5\n"},
      {"no faces", tri},
      {"tabs", tri + "o q\nf\t1 2 3\n"},
  };
  for (const auto& [name, text] : cases) {
    const std::string path = dir.File(std::string(name) + ".obj");
    WriteText(path, text);
    EXPECT_FALSE(SameByBothRoutes(path)) << name;
  }
}

}  // namespace
}  // namespace vorlan::testing
