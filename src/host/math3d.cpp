#include "host/math3d.h"

#include <algorithm>

namespace vorlan::host {

Point3 Normalize(Point3 a) {
  float len = Length(a);
  if (!(len > 0.0f) || !std::isfinite(len)) return a;
  return a / len;
}

Quat Normalize(Quat q) {
  float len = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  if (!(len > 0.0f) || !std::isfinite(len)) return Quat{};
  return {q.x / len, q.y / len, q.z / len, q.w / len};
}

void Matrix3::SetIdentity() { rows_ = {Point3{1, 0, 0}, Point3{0, 1, 0}, Point3{0, 0, 1}, Point3{}}; }

Matrix3 Matrix3::Translation(Point3 t) {
  Matrix3 m;
  m.SetTrans(t);
  return m;
}

Matrix3 Matrix3::Scale(Point3 s) { return Matrix3({s.x, 0, 0}, {0, s.y, 0}, {0, 0, s.z}, {}); }

Matrix3 Matrix3::RotationX(float a) {
  float c = std::cos(a), s = std::sin(a);
  return Matrix3({1, 0, 0}, {0, c, s}, {0, -s, c}, {});
}
Matrix3 Matrix3::RotationY(float a) {
  float c = std::cos(a), s = std::sin(a);
  return Matrix3({c, 0, -s}, {0, 1, 0}, {s, 0, c}, {});
}
Matrix3 Matrix3::RotationZ(float a) {
  float c = std::cos(a), s = std::sin(a);
  return Matrix3({c, s, 0}, {-s, c, 0}, {0, 0, 1}, {});
}

// The rows are the images of the unit axes under the rotation (row-vector form of the
// usual column-vector rotation matrix, i.e. its transpose).
Matrix3 Matrix3::Rotation(Quat q) {
  q = Normalize(q);
  float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
  float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
  float wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
  return Matrix3({1 - 2 * (yy + zz), 2 * (xy + wz), 2 * (xz - wy)},
                 {2 * (xy - wz), 1 - 2 * (xx + zz), 2 * (yz + wx)},
                 {2 * (xz + wy), 2 * (yz - wx), 1 - 2 * (xx + yy)}, {});
}

void Matrix3::PreTranslate(Point3 t) { *this = Translation(t) * *this; }
void Matrix3::PreRotate(Quat q) { *this = Rotation(q) * *this; }
void Matrix3::PreScale(Point3 s) { *this = Scale(s) * *this; }
void Matrix3::ApplyScale(Point3 s) { *this = *this * Scale(s); }

Point3 Matrix3::PointTransform(Point3 p) const {
  return rows_[0] * p.x + rows_[1] * p.y + rows_[2] * p.z + rows_[3];
}
Point3 Matrix3::VectorTransform(Point3 v) const { return rows_[0] * v.x + rows_[1] * v.y + rows_[2] * v.z; }

float Matrix3::Parity() const { return Dot(Cross(rows_[0], rows_[1]), rows_[2]); }

Matrix3 operator*(const Matrix3& a, const Matrix3& b) {
  Matrix3 r;
  for (int i = 0; i < 3; ++i) r.SetRow(i, b.VectorTransform(a.GetRow(i)));
  r.SetTrans(b.PointTransform(a.GetTrans()));
  return r;
}

Matrix3 Inverse(const Matrix3& m) {
  Point3 a = m.GetRow(0), b = m.GetRow(1), c = m.GetRow(2);
  // Rows of the adjugate-based inverse of the 3x3 part, written for row vectors.
  Point3 bc = Cross(b, c), ca = Cross(c, a), ab = Cross(a, b);
  float det = Dot(a, bc);
  if (det == 0.0f || !std::isfinite(det)) return Matrix3();
  float inv = 1.0f / det;
  Matrix3 r({bc.x * inv, ca.x * inv, ab.x * inv}, {bc.y * inv, ca.y * inv, ab.y * inv},
            {bc.z * inv, ca.z * inv, ab.z * inv}, {});
  r.SetTrans(-r.VectorTransform(m.GetTrans()));
  return r;
}

Quat MatrixToQuat(const Matrix3& m) {
  // Shepperd's method on the column-vector matrix R = transpose of the rows.
  auto r = [&](int i, int j) { return m.GetRow(j)[i]; };
  float trace = r(0, 0) + r(1, 1) + r(2, 2);
  Quat q;
  if (trace > 0.0f) {
    float s = std::sqrt(trace + 1.0f) * 2.0f;
    q = {(r(2, 1) - r(1, 2)) / s, (r(0, 2) - r(2, 0)) / s, (r(1, 0) - r(0, 1)) / s, 0.25f * s};
  } else if (r(0, 0) > r(1, 1) && r(0, 0) > r(2, 2)) {
    float s = std::sqrt(std::max(0.0f, 1.0f + r(0, 0) - r(1, 1) - r(2, 2))) * 2.0f;
    q = {0.25f * s, (r(0, 1) + r(1, 0)) / s, (r(0, 2) + r(2, 0)) / s, (r(2, 1) - r(1, 2)) / s};
  } else if (r(1, 1) > r(2, 2)) {
    float s = std::sqrt(std::max(0.0f, 1.0f + r(1, 1) - r(0, 0) - r(2, 2))) * 2.0f;
    q = {(r(0, 1) + r(1, 0)) / s, 0.25f * s, (r(1, 2) + r(2, 1)) / s, (r(0, 2) - r(2, 0)) / s};
  } else {
    float s = std::sqrt(std::max(0.0f, 1.0f + r(2, 2) - r(0, 0) - r(1, 1))) * 2.0f;
    q = {(r(0, 2) + r(2, 0)) / s, (r(1, 2) + r(2, 1)) / s, 0.25f * s, (r(1, 0) - r(0, 1)) / s};
  }
  if (q.w < 0) q = {-q.x, -q.y, -q.z, -q.w};
  return Normalize(q);
}

AffineParts DecompAffine(const Matrix3& m) {
  AffineParts parts;
  parts.t = m.GetTrans();
  Point3 rows[3] = {m.GetRow(0), m.GetRow(1), m.GetRow(2)};
  if (m.Parity() < 0.0f) {
    parts.f = -1.0f;
    for (auto& r : rows) r = -r;
  }
  // Gram-Schmidt keeps the rotation orthonormal even when the axes are slightly skewed.
  Point3 x = rows[0];
  parts.k.x = Length(x);
  x = Normalize(x);
  Point3 y = rows[1] - x * Dot(rows[1], x);
  parts.k.y = Length(rows[1]);
  y = Normalize(y);
  Point3 z = Cross(x, y);
  parts.k.z = Length(rows[2]);
  if (parts.k.x == 0.0f || parts.k.y == 0.0f) {
    parts.q = Quat{};
    return parts;
  }
  parts.q = MatrixToQuat(Matrix3(x, y, z, {}));
  return parts;
}

Point3 QuatToEulerXYZ(Quat q) {
  // The rotation is Rx * Ry * Rz in row-vector form, so m[0][2] = -sin(y).
  Matrix3 m = Matrix3::Rotation(Normalize(q));
  float sy = std::clamp(-m.GetRow(0).z, -1.0f, 1.0f);
  float y = std::asin(sy);
  float x, z;
  if (std::fabs(sy) < 0.99999f) {
    x = std::atan2(m.GetRow(1).z, m.GetRow(2).z);
    z = std::atan2(m.GetRow(0).y, m.GetRow(0).x);
  } else {
    // Gimbal lock: fold the whole remaining rotation into X.
    x = std::atan2(-m.GetRow(2).y, m.GetRow(1).y);
    z = 0.0f;
  }
  return {x, y, z};
}

Quat EulerXYZToQuat(Point3 a) {
  return MatrixToQuat(Matrix3::RotationX(a.x) * Matrix3::RotationY(a.y) * Matrix3::RotationZ(a.z));
}

void Box3::Include(Point3 p) {
  min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
  max = {std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z)};
}

}  // namespace vorlan::host
