// The ray-triangle test shared by the interior sampling of the physics shape and by the
// surface sweeps of the hydro collision design.
//
// Two-sided Moller-Trumbore: no hit when the absolute determinant is below 1e-5 (the ray is
// parallel to the triangle, or the triangle is too small to matter), the barycentric
// coordinates must lie within the triangle (u >= 0, v >= 0, u + v <= 1, ends included) and
// the distance t must be at least 0. Every caller that needs to reproduce another's hits must
// go through these functions so that the floating-point operations are the same.
#pragma once

#include <cmath>

#include "host/math3d.h"

namespace vorlan::geometry {

inline constexpr float kRayMinDeterminant = 1e-5f;

// The part of the test that depends only on the triangle and the ray direction.
struct RayTriangleSetup {
  host::Point3 a, e1, e2, p;  // first corner, the two edges from it, dir x e2
  float inv_det = 0;
  bool determinant_ok = false;  // |det| >= 1e-5; nothing else is meaningful otherwise
};

struct RayTriangleResult {
  bool determinant_ok = false;  // u, v, t are meaningful only when set
  float u = 0, v = 0, t = 0;
};

inline RayTriangleSetup SetUpRayTriangle(host::Point3 dir, host::Point3 a, host::Point3 b, host::Point3 c) {
  RayTriangleSetup s;
  s.a = a;
  s.e1 = b - a;
  s.e2 = c - a;
  s.p = host::Cross(dir, s.e2);
  float det = host::Dot(s.e1, s.p);
  s.determinant_ok = std::fabs(det) >= kRayMinDeterminant;
  if (s.determinant_ok) s.inv_det = 1.0f / det;
  return s;
}

// For a ray along +Z, u and v do not depend on the origin's z (the direction has no x or y
// part), and for a fixed origin y and z each of them is monotone in the origin's x: every
// operation on the way is a rounded, monotone step.
inline RayTriangleResult EvaluateRayTriangle(const RayTriangleSetup& s, host::Point3 origin,
                                             host::Point3 dir) {
  RayTriangleResult r;
  if (!s.determinant_ok) return r;
  r.determinant_ok = true;
  host::Point3 o = origin - s.a;
  r.u = host::Dot(o, s.p) * s.inv_det;
  host::Point3 q = host::Cross(o, s.e1);
  r.v = host::Dot(dir, q) * s.inv_det;
  r.t = host::Dot(s.e2, q) * s.inv_det;
  return r;
}

// Every comparison is an acceptance, so a NaN never counts as a hit.
inline bool RayResultHits(const RayTriangleResult& r) {
  return r.determinant_ok && r.u >= 0.0f && r.u <= 1.0f && r.v >= 0.0f && r.u + r.v <= 1.0f && r.t >= 0.0f;
}

inline bool RayHitsTriangle(const RayTriangleSetup& s, host::Point3 origin, host::Point3 dir, float* t) {
  RayTriangleResult r = EvaluateRayTriangle(s, origin, dir);
  if (!RayResultHits(r)) return false;
  *t = r.t;
  return true;
}

// True when the ray origin + t * dir (t >= 0) hits the triangle a, b, c; *t gets the distance
// (in units of |dir|). dir need not be normalised.
inline bool RayHitsTriangle(host::Point3 origin, host::Point3 dir, host::Point3 a, host::Point3 b,
                            host::Point3 c, float* t) {
  return RayHitsTriangle(SetUpRayTriangle(dir, a, b, c), origin, dir, t);
}

}  // namespace vorlan::geometry
