#include "host/math3d.h"

#include <gtest/gtest.h>

#include <random>

namespace vorlan::host {
namespace {

void ExpectNear(Point3 a, Point3 b, float eps = 1e-4f) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

TEST(Matrix3, ProductAppliesLeftOperandFirst) {
  Matrix3 t = Matrix3::Translation({1, 2, 3});
  Matrix3 s = Matrix3::Scale({2, 2, 2});
  // Translate then scale: (0,0,0) -> (1,2,3) -> (2,4,6).
  ExpectNear(Point3{} * (t * s), {2, 4, 6});
  ExpectNear(Point3{} * (s * t), {1, 2, 3});
}

TEST(Matrix3, InverseUndoesRandomAffineMatrices) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> d(-3, 3);
  for (int i = 0; i < 200; ++i) {
    Matrix3 m = Matrix3::Scale({d(rng), d(rng), d(rng)}) * Matrix3::Rotation(Normalize(Quat{d(rng), d(rng), d(rng), d(rng)})) *
                Matrix3::Translation({d(rng), d(rng), d(rng)});
    if (std::fabs(m.Parity()) < 0.05f) continue;
    Point3 p{d(rng), d(rng), d(rng)};
    ExpectNear(p * m * Inverse(m), p, 2e-3f);
  }
}

TEST(Matrix3, SingularInverseIsIdentityNotNaN) {
  Matrix3 flat = Matrix3::Scale({1, 0, 1});
  EXPECT_EQ(Inverse(flat), Matrix3::Identity());
}

TEST(Matrix3, MirrorShowsInParity) {
  EXPECT_TRUE(Matrix3::Scale({-1, 1, 1}).Mirrors());
  EXPECT_FALSE(Matrix3::Scale({-1, -1, 1}).Mirrors());
}

TEST(Decomposition, RecoversTranslationRotationAndScale) {
  Quat q = EulerXYZToQuat({0.3f, -0.4f, 1.1f});
  Matrix3 m = Matrix3::Scale({2, 3, 4}) * Matrix3::Rotation(q) * Matrix3::Translation({5, 6, 7});
  AffineParts p = DecompAffine(m);
  ExpectNear(p.t, {5, 6, 7});
  ExpectNear(p.k, {2, 3, 4});
  EXPECT_EQ(p.f, 1.0f);
  ExpectNear(QuatToEulerXYZ(p.q), {0.3f, -0.4f, 1.1f});
}

TEST(Decomposition, MirroredMatrixReportsNegativeSign) {
  AffineParts p = DecompAffine(Matrix3::Scale({-2, 1, 1}));
  EXPECT_EQ(p.f, -1.0f);
  ExpectNear(p.k, {2, 1, 1});
}

TEST(Euler, SingleAxisRotationsReadBackAsThatAxis) {
  ExpectNear(QuatToEulerXYZ(MatrixToQuat(Matrix3::RotationX(0.5f))), {0.5f, 0, 0});
  ExpectNear(QuatToEulerXYZ(MatrixToQuat(Matrix3::RotationY(0.5f))), {0, 0.5f, 0});
  ExpectNear(QuatToEulerXYZ(MatrixToQuat(Matrix3::RotationZ(-0.5f))), {0, 0, -0.5f});
}

TEST(Euler, RoundTripsRandomAnglesAwayFromGimbalLock) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> d(-1.5f, 1.5f);
  for (int i = 0; i < 500; ++i) {
    Point3 a{d(rng) * 2, d(rng), d(rng) * 2};
    Matrix3 m = Matrix3::Rotation(EulerXYZToQuat(a));
    Matrix3 back = Matrix3::Rotation(EulerXYZToQuat(QuatToEulerXYZ(EulerXYZToQuat(a))));
    for (int r = 0; r < 3; ++r) ExpectNear(m.GetRow(r), back.GetRow(r), 1e-3f);
  }
}

TEST(Euler, GimbalLockStillReproducesTheRotation) {
  Point3 a{0.7f, 1.5707963f, 0.2f};
  Matrix3 m = Matrix3::Rotation(EulerXYZToQuat(a));
  Matrix3 back = Matrix3::Rotation(EulerXYZToQuat(QuatToEulerXYZ(EulerXYZToQuat(a))));
  for (int r = 0; r < 3; ++r) ExpectNear(m.GetRow(r), back.GetRow(r), 2e-3f);
}

}  // namespace
}  // namespace vorlan::host
