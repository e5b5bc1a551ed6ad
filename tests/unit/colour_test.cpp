// Colour-space conversions against published values: the sRGB / Rec. 709
// primaries and matrices (IEC 61966-2-1, ITU-R BT.709), the Hunt-Pointer-
// Estevez matrix normalised to D65 and its inverse as the IPT model
// (Ebner and Fairchild, 1998) publishes them, and the IPT round trip those
// published pairs make. Each matrix is checked column by column on unit
// inputs, so exchanging any two of its coefficients fails a test.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "colour.h"

namespace {

using vec3 = std::array<double, 3>;
using mat3 = std::array<vec3, 3>; // rows

const vec3 unit[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

// IEC 61966-2-1: linear sRGB to XYZ, and XYZ to linear sRGB, to four decimals.
const mat3 srgb_to_xyz = {{{0.4124, 0.3576, 0.1805}, {0.2126, 0.7152, 0.0722}, {0.0193, 0.1192, 0.9505}}};
const mat3 xyz_to_srgb = {{{3.2406, -1.5372, -0.4986}, {-0.9689, 1.8758, 0.0415}, {0.0557, -0.2040, 1.0570}}};
// The IPT model's XYZ to LMS (Hunt-Pointer-Estevez, D65) and its inverse.
const mat3 hpe_d65 = {{{0.4002, 0.7075, -0.0807}, {-0.2280, 1.1500, 0.0612}, {0.0, 0.0, 0.9184}}};
const mat3 hpe_d65_inverse = {{{1.8502, -1.1383, 0.2384}, {0.3668, 0.6439, -0.0107}, {0.0, 0.0, 1.0889}}};

// Expects f(unit input k) to be column k of m, to tol.
template <class F>
void expect_columns(F f, const mat3 &m, double tol, const char *what)
{
    for (int k = 0; k < 3; k++) {
        vec3 out = f(unit[k]);
        for (int row = 0; row < 3; row++)
            EXPECT_NEAR(out[row], m[row][k], tol) << what << " column " << k << " row " << row;
    }
}

vec3 to_xyz(const vec3 &rgb)
{
    vec3 x;
    rgb_to_xyz(rgb[0], rgb[1], rgb[2], &x[0], &x[1], &x[2]);
    return x;
}

vec3 to_rgb(const vec3 &xyz)
{
    vec3 r;
    xyz_to_rgb(xyz[0], xyz[1], xyz[2], &r[0], &r[1], &r[2]);
    return r;
}

vec3 to_lms(const vec3 &xyz)
{
    vec3 l;
    xyz_to_lms(xyz[0], xyz[1], xyz[2], &l[0], &l[1], &l[2]);
    return l;
}

vec3 from_lms(const vec3 &lms)
{
    vec3 x;
    lms_to_xyz(lms[0], lms[1], lms[2], &x[0], &x[1], &x[2]);
    return x;
}

} // namespace

TEST(Colour, SrgbMatricesMakeTheRec709Primaries)
{
    expect_columns(to_xyz, srgb_to_xyz, 1e-12, "rgb_to_xyz");
    expect_columns(to_rgb, xyz_to_srgb, 1e-12, "xyz_to_rgb");
    // The primaries' chromaticities (BT.709) and luminances.
    const double chromaticity[3][2] = {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}};
    const double luma[3] = {0.2126, 0.7152, 0.0722};
    for (int k = 0; k < 3; k++) {
        vec3 xyz = to_xyz(unit[k]);
        double sum = xyz[0] + xyz[1] + xyz[2];
        EXPECT_NEAR(xyz[0] / sum, chromaticity[k][0], 5e-4) << "primary " << k;
        EXPECT_NEAR(xyz[1] / sum, chromaticity[k][1], 5e-4) << "primary " << k;
        EXPECT_NEAR(rgb_luminance(unit[k][0], unit[k][1], unit[k][2]), luma[k], 1e-12);
        // the published pair are inverses to the digits they are given to
        vec3 back = to_rgb(xyz);
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(back[c], unit[k][c], 2e-4) << "primary " << k << " channel " << c;
    }
    // and the white is D65 (0.3127, 0.3290), Y = 1
    vec3 white = to_xyz({1, 1, 1});
    double sum = white[0] + white[1] + white[2];
    EXPECT_NEAR(white[0] / sum, 0.3127, 1e-4);
    EXPECT_NEAR(white[1] / sum, 0.3290, 1e-4);
    EXPECT_NEAR(white[1], 1.0, 1e-12);
}

TEST(Colour, ConeMatricesAreThePublishedPair)
{
    expect_columns(to_lms, hpe_d65, 1e-12, "xyz_to_lms");
    // the inverse is published to five digits; the tests' copy has four
    expect_columns(from_lms, hpe_d65_inverse, 6e-5, "lms_to_xyz");
    // one undoes the other, on colours that are not white
    for (const vec3 &xyz : {vec3{0.2, 0.3, 0.1}, vec3{0.05, 0.02, 0.4}, vec3{0.9, 0.5, 0.05}}) {
        vec3 back = from_lms(to_lms(xyz));
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(back[c], xyz[c], 1e-4);
    }
}

// The IPT model's two opponent matrices are published as each other's
// inverse: through both and the power functions, colours with non-negative
// cone responses come back; a grey has no opponent signal, and its
// intensity is its cone response to the power 0.43.
TEST(Colour, IptRoundTripAndGrey)
{
    const vec3 colours[] = {{0.2, 0.3, 0.1}, {0.5, 0.4, 0.6}, {0.05, 0.02, 0.4},
                            {0.9, 0.5, 0.05}, {0.3, 0.6, 0.2}};
    for (const vec3 &c : colours) {
        double i, p, t, x, y, z;
        xyz_to_ipt(&i, &p, &t, c[0], c[1], c[2]);
        ipt_to_xyz(&x, &y, &z, i, p, t);
        EXPECT_NEAR(x, c[0], 2e-5);
        EXPECT_NEAR(y, c[1], 2e-5);
        EXPECT_NEAR(z, c[2], 2e-5);
    }
    double i, p, t;
    xyz_to_ipt(&i, &p, &t, 0.18 * 0.9505, 0.18, 0.18 * 1.089);
    EXPECT_NEAR(i, std::pow(0.18, 0.43), 1e-4);
    EXPECT_NEAR(p, 0, 1e-3);
    EXPECT_NEAR(t, 0, 1e-3);
    // red is red, green is green, blue is blue on the opponent axes
    rgb_to_ipt(1, 0, 0, &i, &p, &t);
    EXPECT_GT(p, 0.3);
    rgb_to_ipt(0, 1, 0, &i, &p, &t);
    EXPECT_LT(p, -0.3);
    rgb_to_ipt(0, 0, 1, &i, &p, &t);
    EXPECT_LT(t, -0.3);
}

TEST(Colour, PixelRoundTripsAreTheConversionsChained)
{
    const rgba_t px = {0.25, 0.5, 0.125, 0.75};
    double l, m, s;
    rgb_to_lms(px.r, px.g, px.b, &l, &m, &s);
    vec3 lms = to_lms(to_xyz({px.r, px.g, px.b}));
    EXPECT_EQ(l, lms[0]);
    EXPECT_EQ(m, lms[1]);
    EXPECT_EQ(s, lms[2]);
    rgba_t back = lms_to_rgba(l, m, s, px.a);
    EXPECT_NEAR(back.r, px.r, 2e-4);
    EXPECT_NEAR(back.g, px.g, 2e-4);
    EXPECT_NEAR(back.b, px.b, 2e-4);
    EXPECT_EQ(back.a, px.a);
    double i, p, t;
    rgb_to_ipt(px.r, px.g, px.b, &i, &p, &t);
    back = ipt_to_rgba(i, p, t, px.a);
    EXPECT_NEAR(back.r, px.r, 2e-4);
    EXPECT_NEAR(back.g, px.g, 2e-4);
    EXPECT_NEAR(back.b, px.b, 2e-4);
    EXPECT_EQ(back.a, px.a);
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
