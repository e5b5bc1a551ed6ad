// Colour-space conversions against the values their matrices define.
#include <gtest/gtest.h>

#include <cmath>

#include "colour.h"

TEST(Colour, WhiteThroughEachMatrix)
{
    double x, y, z;
    rgb_to_xyz(1, 1, 1, &x, &y, &z);
    EXPECT_NEAR(x, 0.9505, 1e-12);
    EXPECT_NEAR(y, 1.0, 1e-12);
    EXPECT_NEAR(z, 1.089, 1e-12);
    EXPECT_NEAR(rgb_luminance(1, 1, 1), 1.0, 1e-12);

    // The two sRGB matrices are inverses to about 5e-5 only.
    double r, g, b;
    xyz_to_rgb(x, y, z, &r, &g, &b);
    EXPECT_NEAR(r - 1, 1.5e-5, 0.2e-5);
    EXPECT_NEAR(g - 1, 5.4e-5, 0.2e-5);
    EXPECT_NEAR(b - 1, 1.6e-5, 0.2e-5);

    double l, m, s;
    xyz_to_lms(0.9505, 1.0, 1.089, &l, &m, &s);
    EXPECT_GT(l, 1);
    EXPECT_LT(m, 1);
    EXPECT_GT(s, 1);
    for (double v : {l, m, s})
        EXPECT_NEAR(v, 1, 1.4e-4);

    double i, p, t;
    xyz_to_ipt(&i, &p, &t, x, y, z);
    EXPECT_NEAR(i, 1, 2e-6);
    EXPECT_NEAR(p, 1.8e-4, 0.1e-4);
    EXPECT_NEAR(t, -7.6e-5, 0.1e-5);
}

TEST(Colour, SignedPow)
{
    EXPECT_NEAR(signed_pow(-8, 1.0 / 3.0), -2, 1e-12);
    EXPECT_NEAR(signed_pow(8, 1.0 / 3.0), 2, 1e-12);
    EXPECT_EQ(signed_pow(0, 0.43), 0);
}

TEST(Colour, IptRoundTripLosesTheSignOfANegativeCone)
{
    double i, p, t, x, y, z;
    xyz_to_ipt(&i, &p, &t, 0, 0.1, 1.0);
    double l, m, s;
    xyz_to_lms(0, 0.1, 1.0, &l, &m, &s);
    EXPECT_NEAR(l, -0.00995, 1e-5);
    ipt_to_xyz(&x, &y, &z, i, p, t);
    EXPECT_NEAR(x, 0.0368, 1e-4);
    EXPECT_NEAR(y, 0.107, 1e-3);
    EXPECT_NEAR(z, 1.0, 1e-4);

    // Colours with non-negative cone responses come back.
    const double samples[][3] = {{0.9505, 1, 1.089}, {0.2, 0.3, 0.1}, {0.5, 0.4, 0.6}};
    for (const auto &c : samples) {
        xyz_to_ipt(&i, &p, &t, c[0], c[1], c[2]);
        ipt_to_xyz(&x, &y, &z, i, p, t);
        EXPECT_NEAR(x, c[0], 1e-4);
        EXPECT_NEAR(y, c[1], 1e-4);
        EXPECT_NEAR(z, c[2], 1e-4);
    }
}

TEST(Colour, NegativeValuesPassThroughTheMatrices)
{
    double x, y, z, r, g, b;
    rgb_to_xyz(-1, -1, -1, &x, &y, &z);
    EXPECT_NEAR(x, -0.9505, 1e-12);
    EXPECT_LT(rgb_luminance(-0.5, 0.1, 0), 0);
    xyz_to_rgb(x, y, z, &r, &g, &b);
    EXPECT_LT(r, 0);
    EXPECT_LT(g, 0);
    EXPECT_LT(b, 0);
}
