#include "edges/vec3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace korv {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

void expect_vec(const Vec3 &v, double x, double y, double z) {
  EXPECT_EQ(v.x, x);
  EXPECT_EQ(v.y, y);
  EXPECT_EQ(v.z, z);
}

TEST(Vec3, NormalizeChangesTheVectorAndReturnsTheChangedCopy) {
  Vec3 v{3, 4, 0};
  const Vec3 r = v.normalize();
  expect_vec(v, 0.6, 0.8, 0);
  expect_vec(r, 0.6, 0.8, 0);
}

TEST(Vec3, NormalizeDividesByTheLengthRatherThanMultiplyingByItsReciprocal) {
  // 1/3 rounds, so x * (1/3) and x / 3 differ in the last bit for some x.
  Vec3 v{1, 2, 2};
  v.normalize();
  EXPECT_EQ(v.x, 1.0 / 3.0);
  EXPECT_EQ(v.y, 2.0 / 3.0);
  Vec3 w{0.1, 0.7, 0.7141428428542850};
  const double len = std::sqrt(0.1 * 0.1 + 0.7 * 0.7 + 0.7141428428542850 * 0.7141428428542850);
  w.normalize();
  EXPECT_EQ(w.x, 0.1 / len);
  EXPECT_EQ(w.z, 0.7141428428542850 / len);
}

TEST(Vec3, ZeroNaNAndInfiniteLengthsNormaliseToZero) {
  Vec3 zero{};
  expect_vec(zero.normalize(), 0, 0, 0);
  Vec3 nan{1, kNaN, 0};
  expect_vec(nan.normalize(), 0, 0, 0);
  expect_vec(nan, 0, 0, 0);
  expect_vec(unit_vector({kNaN, 0, 0}), 0, 0, 0);
  expect_vec(unit_vector({kInf, 1, 0}), 0, 0, 0);
  // A very short vector is still divided.
  Vec3 tiny{1e-150, 0, 0};
  expect_vec(tiny.normalize(), 1, 0, 0);
}

TEST(Vec3, UnitVectorLeavesItsArgumentAlone) {
  const Vec3 v{0, 0, 2};
  expect_vec(unit_vector(v), 0, 0, 1);
  expect_vec(v, 0, 0, 2);
}

TEST(Vec3, CrossHasTheFirstArgumentOnTheLeft) {
  expect_vec(cross({1, 0, 0}, {0, 1, 0}), 0, 0, 1);
  expect_vec(cross({0, 1, 0}, {1, 0, 0}), 0, 0, -1);
}

TEST(Vec3, DotAndLength) {
  EXPECT_EQ(dot({1, 2, 3}, {4, 5, 6}), 32.0);
  EXPECT_EQ((Vec3{1, 2, 2}).length(), 3.0);
}

TEST(Vec3, ApplyMat3ReadsTheMatrixInRowOrder) {
  const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  expect_vec(apply_mat3({1.5, -2, 7}, identity), 1.5, -2, 7);
  const double rotate[9] = {0, 1, 0, 0, 0, 1, 1, 0, 0};
  expect_vec(apply_mat3({1, 2, 3}, rotate), 2, 3, 1);
  const double scale[9] = {2, 0, 0, 0, 2, 0, 0, 0, 2};
  expect_vec(apply_mat3({1, 2, 3}, scale), 2, 4, 6);  // no normalisation
}

}  // namespace
}  // namespace korv
