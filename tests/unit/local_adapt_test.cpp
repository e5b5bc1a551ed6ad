// radadapt's CIECAM02 stages, with the fixed conditions derived once, give
// exactly what the shared forward and inverse give for every sample and
// background, NaN where they give NaN.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "adapt.h"
#include "ciecam02.h"
#include "colour.h"

namespace {

// Equal to the last bit, or both NaN.
void expect_same(double got, double want, const char *what, double yb)
{
    if (std::isnan(want))
        EXPECT_TRUE(std::isnan(got)) << what << " yb " << yb;
    else
        EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0)
            << what << " yb " << yb << ": " << got << " vs " << want;
}

} // namespace

TEST(AdaptCiecam02, BitIdenticalToSharedModel)
{
    const adapt_conditions k = adapt_conditions_new();
    const adapt_background standard = adapt_background_of(k, ciecam02_yb);
    const double values[] = {0.0, 0.001, 0.18, 0.5, 1.0, 3.7, -0.05};
    for (double yb : {1.0, 0.1, 4.99, 20.0, 37.5, 100.0, 2500.0}) {
        const adapt_background local = adapt_background_of(k, yb);
        for (double r : values)
            for (double g : values)
                for (double b : values) {
                    double x, y, z;
                    rgb_to_xyz(r, g, b, &x, &y, &z);
                    x *= 100.0, y *= 100.0, z *= 100.0;
                    double j, c, h, jw, cw, hw;
                    adapt_forward(&j, &c, &h, x, y, z, k, local);
                    ciecam02_forward(&jw, &cw, &hw, x, y, z, ciecam02_white_x, ciecam02_white_y,
                                     ciecam02_white_z, yb, ciecam02_la, ciecam02_f, ciecam02_c,
                                     ciecam02_nc);
                    expect_same(j, jw, "J", yb);
                    expect_same(c, cw, "C", yb);
                    expect_same(h, hw, "h", yb);

                    double xo, yo, zo, xw, yw, zw;
                    adapt_inverse(&xo, &yo, &zo, jw, cw, hw, k, standard);
                    ciecam02_inverse(&xw, &yw, &zw, jw, cw, hw, ciecam02_white_x, ciecam02_white_y,
                                     ciecam02_white_z, ciecam02_yb, ciecam02_la, ciecam02_f,
                                     ciecam02_c, ciecam02_nc);
                    expect_same(xo, xw, "X", yb);
                    expect_same(yo, yw, "Y", yb);
                    expect_same(zo, zw, "Z", yb);
                    if (HasFailure())
                        return;
                }
    }
}
