#include <gtest/gtest.h>

#include "SOMatrixProc.h"

namespace {

void ExpectNear(const SOMatrix2R2C& a, const SOMatrix2R2C& b) {
  EXPECT_NEAR(a.m00, b.m00, 1e-5f);
  EXPECT_NEAR(a.m01, b.m01, 1e-5f);
  EXPECT_NEAR(a.m10, b.m10, 1e-5f);
  EXPECT_NEAR(a.m11, b.m11, 1e-5f);
}

void ExpectNear(const SOMatrix3R3C& a, const SOMatrix3R3C& b) {
  const float* x = &a.a11;
  const float* y = &b.a11;
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(x[i], y[i], 1e-5f) << "element " << i;
}

void ExpectNear(const SOPointF& a, const SOPointF& b) {
  EXPECT_NEAR(a.x, b.x, 1e-5f);
  EXPECT_NEAR(a.y, b.y, 1e-5f);
}

TEST(SOMatrixProc, QuarterTurnsComposeToIdentity2x2) {
  const SOMatrix2R2C start{0.5f, 2, -3, 1.25f};
  SOMatrix2R2C m = start;
  for (int i = 0; i < 4; ++i) SOMatrixProc::RotateCW(m);
  ExpectNear(m, start);

  m = start;
  SOMatrixProc::RotateCW(m);
  SOMatrixProc::RotateAntiCW(m);
  ExpectNear(m, start);

  m = start;
  SOMatrixProc::RotateAntiCW(m);
  SOMatrixProc::RotateAntiCW(m);
  SOMatrix2R2C twice = start;
  SOMatrixProc::RotateCW(twice);
  SOMatrixProc::RotateCW(twice);
  ExpectNear(m, twice);  // half a turn either way
}

TEST(SOMatrixProc, QuarterTurnsComposeToIdentity3x3) {
  const SOMatrix3R3C start{2, 0.5f, 0, -1, 3, 0, 7, -4, 1};
  SOMatrix3R3C m = start;
  for (int i = 0; i < 4; ++i) SOMatrixProc::RotateCW(m);
  ExpectNear(m, start);
  m = start;
  SOMatrixProc::RotateAntiCW(m);
  SOMatrixProc::RotateCW(m);
  ExpectNear(m, start);
}

// Screen axes: x right, y down. A clockwise quarter turn sends right to down.
TEST(SOMatrixProc, TurnsAndFlipsMoveScreenAxesAsShown) {
  struct Case {
    const char* name;
    void (*op)(SOMatrix2R2C&);
    SOPointF right, down;  // images of (1, 0) and (0, 1)
  };
  const Case cases[] = {
      {"RotateCW", SOMatrixProc::RotateCW, {0, 1}, {-1, 0}},
      {"RotateAntiCW", SOMatrixProc::RotateAntiCW, {0, -1}, {1, 0}},
      {"FlipX", SOMatrixProc::FlipX, {-1, 0}, {0, 1}},
      {"FlipY", SOMatrixProc::FlipY, {1, 0}, {0, -1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SOMatrix2R2C m;
    c.op(m);
    ExpectNear(SOMatrixProc::Mul(m, SOPointF{1, 0}), c.right);
    ExpectNear(SOMatrixProc::Mul(m, SOPointF{0, 1}), c.down);
  }
  // The operation acts after what the matrix already does: flip then turn is not turn then flip.
  SOMatrix2R2C flipThenTurn, turnThenFlip;
  SOMatrixProc::FlipX(flipThenTurn);
  SOMatrixProc::RotateCW(flipThenTurn);
  SOMatrixProc::RotateCW(turnThenFlip);
  SOMatrixProc::FlipX(turnThenFlip);
  ExpectNear(SOMatrixProc::Mul(flipThenTurn, SOPointF{1, 0}), SOPointF{0, -1});
  ExpectNear(SOMatrixProc::Mul(turnThenFlip, SOPointF{1, 0}), SOPointF{0, 1});
}

TEST(SOMatrixProc, MulAndInvertMatchHandWorkedValues) {
  // [1 2; 3 4] * [0 1; 5 -2] = [10 -3; 20 -5]
  ExpectNear(SOMatrixProc::Mul(SOMatrix2R2C{1, 2, 3, 4}, SOMatrix2R2C{0, 1, 5, -2}),
             SOMatrix2R2C{10, -3, 20, -5});
  // Row vector: (1, 1) * [1 2; 3 4] = (4, 6)
  ExpectNear(SOMatrixProc::Mul(SOMatrix2R2C{1, 2, 3, 4}, SOPointF{1, 1}), SOPointF{4, 6});

  SOMatrix2R2C m{4, 7, 2, 6};  // det 10
  ASSERT_TRUE(SOMatrixProc::Invert(m));
  ExpectNear(m, SOMatrix2R2C{0.6f, -0.7f, -0.2f, 0.4f});

  SOMatrix2R2C singular{1, 2, 2, 4};
  EXPECT_FALSE(SOMatrixProc::Invert(singular));
  EXPECT_EQ(singular, (SOMatrix2R2C{1, 2, 2, 4}));

  // Scale by 2 then move by (3, -1): (1, 1) -> (5, 1); the inverse brings it back.
  const SOMatrix3R3C affine{2, 0, 0, 0, 2, 0, 3, -1, 1};
  ExpectNear(SOMatrixProc::Mul(affine, SOPointF{1, 1}), SOPointF{5, 1});
  SOMatrix3R3C inverse = affine;
  ASSERT_TRUE(SOMatrixProc::Invert(inverse));
  ExpectNear(inverse, SOMatrix3R3C{0.5f, 0, 0, 0, 0.5f, 0, -1.5f, 0.5f, 1});
  ExpectNear(SOMatrixProc::Mul(inverse, SOPointF{5, 1}), SOPointF{1, 1});
  ExpectNear(SOMatrixProc::Mul(affine, inverse), SOMatrix3R3C{});

  // A turned map keeps its translation turned with it: (0, 0) -> (3, -1) -> (1, 3).
  SOMatrix3R3C turned = affine;
  SOMatrixProc::RotateCW(turned);
  ExpectNear(SOMatrixProc::Mul(turned, SOPointF{0, 0}), SOPointF{1, 3});
  ExpectNear(SOMatrixProc::Mul(turned, SOPointF{1, 0}), SOPointF{1, 5});

  SOMatrix3R3C flat{1, 2, 0, 2, 4, 0, 0, 0, 1};
  EXPECT_FALSE(SOMatrixProc::Invert(flat));
  SOMatrix3R3C reset = affine;
  SOMatrixProc::Reset(reset);
  EXPECT_EQ(reset, SOMatrix3R3C{});
}

}  // namespace
