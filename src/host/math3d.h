// Value types of the host boundary: points, quaternions, 4x3 matrices and boxes.
//
// The host multiplies row vectors from the left: p' = p * M, where M holds the X, Y and Z
// axis rows and the translation row. A product A * B therefore applies A first, then B.
// Every plug-in and the workbench use this one convention, so matrices cross the boundary
// unchanged.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

namespace vorlan::host {

struct Point3 {
  float x = 0, y = 0, z = 0;

  constexpr Point3() = default;
  constexpr Point3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

  constexpr float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
  constexpr float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }

  friend constexpr Point3 operator+(Point3 a, Point3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
  friend constexpr Point3 operator-(Point3 a, Point3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
  friend constexpr Point3 operator-(Point3 a) { return {-a.x, -a.y, -a.z}; }
  friend constexpr Point3 operator*(Point3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
  friend constexpr Point3 operator*(float s, Point3 a) { return a * s; }
  friend constexpr Point3 operator/(Point3 a, float s) { return {a.x / s, a.y / s, a.z / s}; }
  Point3& operator+=(Point3 b) { return *this = *this + b; }
  Point3& operator-=(Point3 b) { return *this = *this - b; }
  Point3& operator*=(float s) { return *this = *this * s; }
  friend constexpr bool operator==(Point3 a, Point3 b) = default;
};

constexpr float Dot(Point3 a, Point3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
constexpr Point3 Cross(Point3 a, Point3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(Point3 a) { return std::sqrt(Dot(a, a)); }
// A zero vector stays zero instead of turning into NaN.
Point3 Normalize(Point3 a);

// Quaternion (x, y, z, w) of a rotation; w is the scalar part.
struct Quat {
  float x = 0, y = 0, z = 0, w = 1;
  friend constexpr bool operator==(Quat a, Quat b) = default;
};
Quat Normalize(Quat q);

// 4x3 affine matrix: rows 0..2 are the axis rows, row 3 the translation.
class Matrix3 {
 public:
  Matrix3() { SetIdentity(); }
  Matrix3(Point3 x, Point3 y, Point3 z, Point3 t) : rows_{x, y, z, t} {}

  static Matrix3 Identity() { return Matrix3(); }
  static Matrix3 Translation(Point3 t);
  static Matrix3 Scale(Point3 s);
  static Matrix3 Rotation(Quat q);
  static Matrix3 RotationX(float radians);
  static Matrix3 RotationY(float radians);
  static Matrix3 RotationZ(float radians);

  void SetIdentity();
  Point3 GetRow(int i) const { return rows_[static_cast<std::size_t>(i)]; }
  void SetRow(int i, Point3 p) { rows_[static_cast<std::size_t>(i)] = p; }
  Point3 GetTrans() const { return rows_[3]; }
  void SetTrans(Point3 t) { rows_[3] = t; }
  void NoTrans() { rows_[3] = {}; }

  // Pre-operations apply the given transform before this one (M = T * M).
  void PreTranslate(Point3 t);
  void PreRotate(Quat q);
  void PreScale(Point3 s);
  // Applies a scale after this transform (M = M * S).
  void ApplyScale(Point3 s);

  Point3 PointTransform(Point3 p) const;
  Point3 VectorTransform(Point3 v) const;  // ignores the translation row
  // Scalar triple product of the axis rows: negative when the matrix mirrors space.
  float Parity() const;
  bool Mirrors() const { return Parity() < 0.0f; }

  friend Matrix3 operator*(const Matrix3& a, const Matrix3& b);
  friend bool operator==(const Matrix3& a, const Matrix3& b) = default;

 private:
  std::array<Point3, 4> rows_;
};

inline Point3 operator*(Point3 p, const Matrix3& m) { return m.PointTransform(p); }

// General affine inverse; a singular matrix yields the identity so that callers never see NaN.
Matrix3 Inverse(const Matrix3& m);

// Affine decomposition M = S * R * T: translation, normalised rotation and positive scale.
// A mirroring matrix is decomposed as its negation and reports sign -1.
struct AffineParts {
  Point3 t;
  Quat q;
  Point3 k{1, 1, 1};
  float f = 1.0f;  // sign of the determinant
};
AffineParts DecompAffine(const Matrix3& m);

// Euler angles (radians) about X, then Y, then Z, of a normalised rotation quaternion.
Point3 QuatToEulerXYZ(Quat q);
Quat EulerXYZToQuat(Point3 angles);
Quat MatrixToQuat(const Matrix3& rotation);

struct Box3 {
  Point3 min{1e30f, 1e30f, 1e30f};
  Point3 max{-1e30f, -1e30f, -1e30f};
  bool IsEmpty() const { return min.x > max.x; }
  void Include(Point3 p);
  Point3 Width() const { return IsEmpty() ? Point3{} : max - min; }
  Point3 Center() const { return (min + max) * 0.5f; }
};

}  // namespace vorlan::host
