// Shared vertices on import: the hash join against the plain quadratic rule, smoothing
// groups drawn from the normals, and what imported files look like with both.
#include "interchange/vertex_join.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>
#include <map>
#include <random>

#include "interchange/export.h"
#include "interchange/smoothing_groups.h"
#include "interchange/test_files.h"
#include "workbench/scene.h"

namespace vorlan::testing {
namespace {

using host::Point3;
using workbench::interchange::GroupSmoothFaces;
using workbench::interchange::IdenticalJoiner;

// The rule itself: a value takes the number of the first earlier value with the same bits.
template <typename T>
std::vector<uint32_t> JoinPlainly(const std::vector<T>& in, std::vector<T>& distinct) {
  std::vector<uint32_t> numbers;
  for (const T& v : in) {
    uint32_t n = 0;
    while (n < distinct.size() && std::memcmp(&distinct[n], &v, sizeof(T)) != 0) ++n;
    if (n == distinct.size()) distinct.push_back(v);
    numbers.push_back(n);
  }
  return numbers;
}

// Floats from a small pool, so values repeat, with the ones equality and bits disagree on.
float PoolFloat(std::mt19937& rng, int pool) {
  static const float odd[] = {0.0f, -0.0f, std::bit_cast<float>(0x7FC00000u),
                              std::bit_cast<float>(0x7FC00001u), 1e-45f};
  const int pick = std::uniform_int_distribution<int>(0, pool + 4)(rng);
  return pick < 5 ? odd[pick] : static_cast<float>(pick) * 0.25f;
}

template <typename T, typename Make>
void ExpectJoinsLikeThePlainRule(Make make) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    const int pool = std::uniform_int_distribution<int>(1, 12)(rng);
    const std::size_t n = std::uniform_int_distribution<std::size_t>(0, round < 150 ? 300 : 5000)(rng);
    std::vector<T> in;
    for (std::size_t i = 0; i < n; ++i) in.push_back(make(rng, pool));
    // Values already held before the join keep their numbers, as a second part of a mesh
    // finds the first part's.
    const std::size_t held = std::uniform_int_distribution<std::size_t>(0, n / 3)(rng);
    std::vector<T> expectValues, gotValues;
    std::vector<T> first(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(held));
    JoinPlainly(first, expectValues);
    IdenticalJoiner<T> seed(gotValues);
    for (const T& v : first) seed.Add(v);

    std::vector<T> rest(in.begin() + static_cast<std::ptrdiff_t>(held), in.end());
    const std::vector<uint32_t> expect = JoinPlainly(rest, expectValues);
    IdenticalJoiner<T> joiner(gotValues);
    if (round % 2) joiner.Reserve(rest.size());
    std::vector<uint32_t> got;
    for (const T& v : rest) got.push_back(joiner.Add(v));
    ASSERT_EQ(got, expect) << "round " << round;
    ASSERT_EQ(gotValues.size(), expectValues.size());
    for (std::size_t i = 0; i < gotValues.size(); ++i)
      ASSERT_EQ(std::memcmp(&gotValues[i], &expectValues[i], sizeof(T)), 0) << "value " << i;
  }
}

TEST(IdenticalJoiner, NumbersValuesLikeThePlainRuleOnRandomInputs) {
  ExpectJoinsLikeThePlainRule<Point3>([](std::mt19937& r, int pool) {
    return Point3{PoolFloat(r, pool), PoolFloat(r, pool), PoolFloat(r, pool)};
  });
  ExpectJoinsLikeThePlainRule<std::array<float, 4>>([](std::mt19937& r, int pool) {
    return std::array<float, 4>{PoolFloat(r, pool), PoolFloat(r, 2), PoolFloat(r, pool), PoolFloat(r, 1)};
  });
}

// ---- smoothing groups ---------------------------------------------------------------------

host::MeshFace Face(uint32_t a, uint32_t b, uint32_t c, uint32_t group) {
  host::MeshFace f;
  f.v = {a, b, c};
  f.smGroup = group;
  return f;
}

TEST(SmoothingGroups, CreasesBetweenSmoothSurfacesStayAndSharedNormalsJoin) {
  // Four triangles in a row sharing edges 1-2, 2-3, 3-4; normals shared across the first and
  // last edges, split across the middle one; the fifth face is faceted.
  host::Mesh m;
  m.verts.assign(7, Point3{});
  m.faces = {Face(0, 1, 2, 1), Face(1, 3, 2, 1), Face(2, 3, 4, 1), Face(3, 5, 4, 1), Face(4, 5, 6, 0)};
  m.normalFaces = {{0, 1, 2}, {1, 3, 2}, {12, 13, 14}, {13, 15, 14}, {16, 16, 16}};
  GroupSmoothFaces(m);
  EXPECT_EQ(m.faces[0].smGroup, 1u);
  EXPECT_EQ(m.faces[1].smGroup, 1u);
  EXPECT_EQ(m.faces[2].smGroup, 2u);
  EXPECT_EQ(m.faces[3].smGroup, 2u);
  EXPECT_EQ(m.faces[4].smGroup, 0u);

  // Surfaces that do not touch reuse the lowest bit.
  host::Mesh apart;
  apart.verts.assign(6, Point3{});
  apart.faces = {Face(0, 1, 2, 1), Face(3, 4, 5, 1)};
  apart.normalFaces = {{0, 1, 2}, {3, 4, 5}};
  GroupSmoothFaces(apart);
  EXPECT_EQ(apart.faces[0].smGroup, 1u);
  EXPECT_EQ(apart.faces[1].smGroup, 1u);
}

TEST(SmoothingGroups, RandomMeshesShareBitsExactlyWhereNormalsAreSharedUnlessBitsRunOut) {
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    host::Mesh m;
    const uint32_t verts = std::uniform_int_distribution<uint32_t>(3, 30)(rng);
    const uint32_t normals = std::uniform_int_distribution<uint32_t>(1, 40)(rng);
    m.verts.assign(verts, Point3{});
    const int faces = std::uniform_int_distribution<int>(0, 60)(rng);
    std::uniform_int_distribution<uint32_t> v(0, verts - 1), n(0, normals - 1), smooth(0, 3);
    for (int f = 0; f < faces; ++f) {
      m.faces.push_back(Face(v(rng), v(rng), v(rng), smooth(rng) ? 1u : 0u));
      m.normalFaces.push_back({n(rng), n(rng), n(rng)});
    }
    const std::vector<host::MeshFace> before = m.faces;
    GroupSmoothFaces(m);

    // Surfaces by the plain rule: repeated merging until nothing changes.
    std::vector<int> surface(m.faces.size());
    for (std::size_t f = 0; f < surface.size(); ++f) surface[f] = static_cast<int>(f);
    for (bool changed = true; changed;) {
      changed = false;
      for (std::size_t a = 0; a < m.faces.size(); ++a)
        for (std::size_t b = 0; b < m.faces.size(); ++b)
          for (std::size_t i = 0; i < 3; ++i)
            for (std::size_t j = 0; j < 3; ++j)
              if (before[a].smGroup && before[b].smGroup && m.faces[a].v[i] == m.faces[b].v[j] &&
                  m.normalFaces[a][i] == m.normalFaces[b][j] && surface[b] > surface[a]) {
                surface[b] = surface[a];
                changed = true;
              }
    }
    for (std::size_t a = 0; a < m.faces.size(); ++a) {
      if (!before[a].smGroup) {
        EXPECT_EQ(m.faces[a].smGroup, 0u);
        continue;
      }
      ASSERT_EQ(std::popcount(m.faces[a].smGroup), 1);
      for (std::size_t b = 0; b < m.faces.size(); ++b) {
        if (!before[b].smGroup) continue;
        if (surface[a] == surface[b]) {
          EXPECT_EQ(m.faces[a].smGroup, m.faces[b].smGroup) << "round " << round;
          continue;
        }
        bool touch = false;
        for (std::size_t i = 0; i < 3; ++i)
          for (std::size_t j = 0; j < 3; ++j) touch = touch || m.faces[a].v[i] == m.faces[b].v[j];
        if (touch) {
          EXPECT_NE(m.faces[a].smGroup, m.faces[b].smGroup) << "round " << round;
        }
      }
    }
  }
}

// ---- imported files -----------------------------------------------------------------------

const workbench::MeshObject* OnlyMesh(const workbench::Scene& scene) {
  const workbench::MeshObject* found = nullptr;
  for (const workbench::SceneNode* n : scene.AllNodes())
    if (auto* m = dynamic_cast<const workbench::MeshObject*>(n->ObjectPtr().get())) found = m;
  return found;
}

// A unit cube with one normal per side and a texture seam: every corner its own OBJ vertex.
std::string CubeObj(bool smooth) {
  std::string s;
  for (int i = 0; i < 8; ++i)
    s +=
        "v " + std::to_string(i & 1) + " " + std::to_string(i >> 1 & 1) + " " + std::to_string(i >> 2) + "\n";
  s += "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";
  const int sides[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                           {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  const char* normals[6] = {"0 0 -1", "0 0 1", "0 -1 0", "0 1 0", "-1 0 0", "1 0 0"};
  if (smooth)
    for (int i = 0; i < 8; ++i)
      s += "vn " + std::to_string((i & 1) * 2 - 1) + " " + std::to_string((i >> 1 & 1) * 2 - 1) + " " +
           std::to_string((i >> 2) * 2 - 1) + "\n";
  else
    for (const char* n : normals) s += std::string("vn ") + n + "\n";
  for (int f = 0; f < 6; ++f) {
    s += "f";
    for (int k = 0; k < 4; ++k)
      s += " " + std::to_string(sides[f][k] + 1) + "/" + std::to_string(k + 1) + "/" +
           std::to_string((smooth ? sides[f][k] : f) + 1);
    s += "\n";
  }
  return s;
}

TEST(SharedVertices, AnObjCubeKeepsEightCornersSixNormalsAndItsHardEdges) {
  TempDir dir;
  WriteText(dir.File("cube.obj"), CubeObj(false));
  workbench::Scene scene;
  ASSERT_TRUE(workbench::ImportInterchange(dir.File("cube.obj"), scene, {}));
  const auto* cube = OnlyMesh(scene);
  ASSERT_NE(cube, nullptr);
  const host::Mesh& m = cube->mesh;
  EXPECT_EQ(m.verts.size(), 8u);
  ASSERT_EQ(m.faces.size(), 12u);
  EXPECT_EQ(m.explicitNormals.size(), 6u);
  ASSERT_NE(m.FindMap(1), nullptr);
  EXPECT_EQ(m.FindMap(1)->tverts.size(), 4u);
  for (std::size_t f = 0; f < m.faces.size(); ++f) {
    EXPECT_EQ(m.faces[f].smGroup, 0u) << "face " << f;
    for (std::size_t k = 0; k < 3; ++k) {
      const Point3 n = m.explicitNormals[m.normalFaces[f][k]], fn = m.FaceNormal(static_cast<int>(f));
      EXPECT_FLOAT_EQ(host::Dot(n, fn), 1.0f) << "face " << f;
    }
  }
  // Written back, each side has its own four corners again: 24 glTF vertices, not 36.
  std::vector<uint8_t> glb;
  ASSERT_TRUE(workbench::BuildGlb(scene, {}, glb));
  const std::string path = dir.File("cube.glb");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(glb.data()), static_cast<std::streamsize>(glb.size()));
  RawGltf raw = ReadRawGltf(path);
  EXPECT_EQ(raw.doc["accessors"][raw.doc["meshes"][0]["primitives"][0]["attributes"]["POSITION"].get<int>()]
                   ["count"],
            24);
}

TEST(SharedVertices, ASmoothObjCubeIsOneSurfaceWithItsTextureSeamsKept) {
  TempDir dir;
  WriteText(dir.File("round.obj"), CubeObj(true));
  workbench::Scene scene;
  ASSERT_TRUE(workbench::ImportInterchange(dir.File("round.obj"), scene, {}));
  const host::Mesh& m = OnlyMesh(scene)->mesh;
  EXPECT_EQ(m.verts.size(), 8u);
  EXPECT_EQ(m.explicitNormals.size(), 8u);
  EXPECT_EQ(m.FindMap(1)->tverts.size(), 4u);
  for (const host::MeshFace& f : m.faces) EXPECT_EQ(f.smGroup, 1u);
  // Each corner keeps the normal the file gave its vertex.
  for (std::size_t f = 0; f < m.faces.size(); ++f)
    for (std::size_t k = 0; k < 3; ++k) {
      const Point3 p = m.verts[m.faces[f].v[k]], n = m.explicitNormals[m.normalFaces[f][k]];
      EXPECT_EQ(n.x, p.x * 2 - 1);
      EXPECT_EQ(n.z, p.z * 2 - 1);
    }
}

TEST(SharedVertices, CharactersKeepTheFilesVertexNumbering) {
  // Skins and morph targets name vertices by the file's numbers.
  workbench::Scene scene;
  ASSERT_TRUE(workbench::ImportInterchange(AssetPath("gltf/CesiumMan/CesiumMan.glb"), scene, {}));
  RawGltf raw = ReadRawGltf(AssetPath("gltf/CesiumMan/CesiumMan.glb"));
  const int position = raw.doc["meshes"][0]["primitives"][0]["attributes"]["POSITION"];
  std::size_t verts = 0;
  for (const workbench::SceneNode* n : scene.AllNodes())
    if (auto* m = dynamic_cast<const workbench::MeshObject*>(n->ObjectPtr().get()))
      verts += m->mesh.verts.size();
  EXPECT_EQ(verts, raw.doc["accessors"][position]["count"].get<std::size_t>());
}

}  // namespace
}  // namespace vorlan::testing
