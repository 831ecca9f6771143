#include "host/control.h"

#include <algorithm>
#include <cmath>

namespace vorlan::host {

Quat QuatFromAngAxis(const AngAxis& aa) {
  Point3 axis = Normalize(aa.axis);
  if (axis == Point3{}) return Quat{};
  float s = std::sin(aa.angle * 0.5f);
  return Quat{axis.x * s, axis.y * s, axis.z * s, std::cos(aa.angle * 0.5f)};
}

AngAxis AngAxisFromQuat(Quat q) {
  q = Normalize(q);
  float s = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
  if (!(s > 1e-7f)) return AngAxis{{0, 0, 1}, 0};
  float angle = 2.0f * std::atan2(s, q.w);
  return AngAxis{{q.x / s, q.y / s, q.z / s}, angle};
}

Quat operator*(Quat a, Quat b) {
  // Row vectors apply `a` first: the column-vector (Hamilton) product b ⊗ a.
  return Quat{b.w * a.x + b.x * a.w + b.y * a.z - b.z * a.y, b.w * a.y - b.x * a.z + b.y * a.w + b.z * a.x,
              b.w * a.z + b.x * a.y - b.y * a.x + b.z * a.w, b.w * a.w - b.x * a.x - b.y * a.y - b.z * a.z};
}

Quat Conjugate(Quat q) { return Quat{-q.x, -q.y, -q.z, q.w}; }

Quat Slerp(Quat a, Quat b, float u) {
  float cosom = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
  if (cosom < 0.0f) {
    cosom = -cosom;
    b = Quat{-b.x, -b.y, -b.z, -b.w};
  }
  float k0 = 1.0f - u, k1 = u;
  if (cosom < 0.9999f) {
    float omega = std::acos(std::min(cosom, 1.0f));
    float sinom = std::sin(omega);
    k0 = std::sin((1.0f - u) * omega) / sinom;
    k1 = std::sin(u * omega) / sinom;
  }
  return Normalize(Quat{k0 * a.x + k1 * b.x, k0 * a.y + k1 * b.y, k0 * a.z + k1 * b.z, k0 * a.w + k1 * b.w});
}

}  // namespace vorlan::host
