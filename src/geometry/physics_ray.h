// The ray-triangle test shared by the interior sampling of the physics shape and by the
// surface sweeps of the hydro collision design.
//
// Two-sided Moller-Trumbore: no hit when the absolute determinant is below 1e-5 (the ray is
// parallel to the triangle, or the triangle is too small to matter), the barycentric
// coordinates must lie within the triangle (u >= 0, v >= 0, u + v <= 1, ends included) and
// the distance t must be at least 0. Every caller that needs to reproduce another's hits must
// go through this one function so that the floating-point operations are the same.
#pragma once

#include "host/math3d.h"

namespace vorlan::geometry {

inline constexpr float kRayMinDeterminant = 1e-5f;

struct RayTriangleResult {
  bool determinant_ok = false;  // |det| >= 1e-5; u, v, t are meaningful only then
  float u = 0, v = 0, t = 0;
};

// All intermediate values of the test, for callers that filter on u and v separately. For a
// ray along +Z, u and v do not depend on the origin's z.
RayTriangleResult RayTriangleBarycentric(host::Point3 origin, host::Point3 dir, host::Point3 a,
                                         host::Point3 b, host::Point3 c);

// True when the ray origin + t * dir (t >= 0) hits the triangle a, b, c; *t gets the distance
// (in units of |dir|). dir need not be normalised.
inline bool RayHitsTriangle(host::Point3 origin, host::Point3 dir, host::Point3 a, host::Point3 b,
                            host::Point3 c, float* t) {
  RayTriangleResult r = RayTriangleBarycentric(origin, dir, a, b, c);
  // Written as negated acceptances so that a NaN never counts as a hit.
  if (!r.determinant_ok || !(r.u >= 0.0f) || !(r.u <= 1.0f) || !(r.v >= 0.0f) || !(r.u + r.v <= 1.0f) ||
      !(r.t >= 0.0f))
    return false;
  *t = r.t;
  return true;
}

}  // namespace vorlan::geometry
