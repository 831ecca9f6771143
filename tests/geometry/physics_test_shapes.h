// Shapes the physics tests build again and again.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/physics_shape.h"

namespace vorlan::geometry::testing {

struct Tri {
  host::Point3 a, b, c;
};

// Twelve outward-facing triangles of the box, two per face.
inline std::vector<Tri> BoxTriangles(host::Point3 lo, host::Point3 hi) {
  auto v = [&](int i) { return host::Point3{i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z}; };
  const int faces[12][3] = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 1, 5}, {0, 5, 4},
                            {2, 6, 7}, {2, 7, 3}, {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}};
  std::vector<Tri> out;
  for (const auto& f : faces) out.push_back({v(f[0]), v(f[1]), v(f[2])});
  return out;
}

// A closed sphere of 20 * 4^levels triangles: an icosahedron subdivided and pushed outward.
inline std::vector<Tri> SphereTriangles(host::Point3 center, float radius, int levels) {
  const float t = (1.0f + std::sqrt(5.0f)) / 2.0f;
  std::vector<host::Point3> v = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
                                 {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
  const int ico[20][3] = {{0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
                          {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
                          {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
  std::vector<Tri> tris;
  for (const auto& f : ico) tris.push_back({v[f[0]], v[f[1]], v[f[2]]});
  for (int l = 0; l < levels; ++l) {
    std::vector<Tri> next;
    for (const Tri& f : tris) {
      host::Point3 ab = (f.a + f.b) * 0.5f, bc = (f.b + f.c) * 0.5f, ca = (f.c + f.a) * 0.5f;
      next.push_back({f.a, ab, ca});
      next.push_back({ab, f.b, bc});
      next.push_back({ca, bc, f.c});
      next.push_back({ab, bc, ca});
    }
    tris = std::move(next);
  }
  for (Tri& f : tris)
    for (host::Point3* p : {&f.a, &f.b, &f.c}) *p = center + host::Normalize(*p) * radius;
  return tris;
}

inline void AddAll(PhysicsShape& shape, const std::vector<Tri>& tris, uint32_t surface = 0) {
  for (const Tri& t : tris) shape.AddTriangle(t.a, t.b, t.c, surface);
}

inline constexpr uint32_t FourCC(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

}  // namespace vorlan::geometry::testing
