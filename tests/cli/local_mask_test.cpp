// radmask, radmask-cone and radmask-modes run as programs: the masking
// exponent 2^(2m - 1) from the blurred image, its three mask sources and
// three targets, and the messages.
#include <gtest/gtest.h>

#include <cmath>

#include "ciecam02.h"
#include "local_kit.h"

using namespace testkit;
using namespace local_kit;

namespace {

const char usage[] = "Usage: radmask input.exr blur.exr output.exr\n";
const char usage_modes[] = "Usage: radmask input.exr blur.exr output.exr test test2\n";

// The grey whose CIECAM02 lightness (fixed viewing conditions) is j, by
// bisection over srgb_lightness, which rises with the grey.
double grey_of_lightness(double j)
{
    double lo = 0, hi = 1;
    for (int i = 0; i < 60; i++) {
        double mid = (lo + hi) / 2;
        (srgb_lightness(mid, mid, mid) < j ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

} // namespace

TEST(Radmask, PowerFollowsBlurredLuminance)
{
    // One pixel a case; gamma is what the blurred grey's luminance gives.
    const struct {
        double blur, gamma;
        rgba_t in;
    } cases[] = {
        {0.5, 1, {0.3, 0.7, 2.0, 0.5}},    // unchanged
        {1.0, 2, {0.5, 0.25, 3.0, 1}},     // squared
        {1.5, 4, {0.5, 2.0, 0.9, 0.25}},   // an HDR neighbourhood: power 4
        {0.0, 0.5, {0.25, 0.04, 4.0, 1}},  // square root
        {1.5, 4, {0.0, 1.0, 1.0, 1}},      // 0 and 1 are kept
        {0.0, 0.5, {1.0, 0.0, 0.0, 0.75}},
        {1.0, 2, {-0.5, 0.5, 1, 0.125}},   // a whole power squares a negative channel
        {0.75, std::sqrt(2.0), {-0.5, 0.5, 1, 0.375}}, // NaN, stored as 0, alpha kept
        {0.5, 1, {-0.5, 0.5, 1, 1}},       // a negative result is stored as 0
    };
    const int n = sizeof cases / sizeof cases[0];
    std::vector<rgba_t> in, blur, want;
    for (const auto &c : cases) {
        in.push_back(c.in);
        blur.push_back(grey(c.blur));
        rgba_t p = as_half(c.in);
        want.push_back(stored({std::pow(p.r, c.gamma), std::pow(p.g, c.gamma),
                               std::pow(p.b, c.gamma), p.a}));
    }
    temp_dir dir;
    run_result r = run_pair(dir, "radmask", pixels(n, 1, in), pixels(n, 1, blur));
    ASSERT_EQ(r.status, 0) << r.err;
    image got = read_exr(dir / "out.exr");
    for (int x = 0; x < n; x++)
        expect_rgb_near(got.at(x, 0), want[x], 4, "case " + std::to_string(x));
}

TEST(Radmask, MessagesOfARun)
{
    temp_dir dir;
    run_result r = run_pair(dir, "radmask", uniform(2, 21, grey(0.5)), uniform(2, 21, grey(0.5)));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "radmask: " + (dir / "in.exr") + " [2x21]\n");
    EXPECT_EQ(r.err, progress("radmask", "Correcting scanline", 21, 10) + "\nradmask: Done.\n");

    for (const char *program : {"radmask", "radmask-cone"}) {
        for (const auto &args : std::vector<std::vector<std::string>>{{}, {"a", "b"}}) {
            r = run(program, args);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, usage);
            EXPECT_EQ(r.out, "");
        }
    }
    r = run("radmask-modes", {"a", "b", "c", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, usage_modes);
}

TEST(RadmaskCone, PowerOfConeResponses)
{
    // A grey has nearly equal cone responses, so a grey g comes back as
    // about g^gamma; a colour under gamma 1 comes back through the matrices.
    const struct {
        double blur;
        rgba_t in, want;
        double ulps; // half-float steps of the pixel
    } cases[] = {
        {0.5, {0.3, 0.7, 0.2, 0.5}, {0.3, 0.7, 0.2, 0.5}, 1},
        {0.5, {1.0, 0.0, 0.0, 1}, {1.0, 0.0, 0.0, 1}, 1},
        {1.0, grey(0.5), grey(0.25), 5},
        {0.0, grey(0.25), grey(0.5), 3},
        {1.5, grey(2.0), grey(16.0), 2},
    };
    const int n = sizeof cases / sizeof cases[0];
    std::vector<rgba_t> in, blur;
    for (const auto &c : cases) {
        in.push_back(c.in);
        blur.push_back(grey(c.blur));
    }
    temp_dir dir;
    run_result r = run_pair(dir, "radmask-cone", pixels(n, 1, in), pixels(n, 1, blur));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, progress("radmask", "Correcting scanline", 1, 10) + "\nradmask: Done.\n");
    image got = read_exr(dir / "out.exr");
    for (int x = 0; x < n; x++)
        expect_rgb_near(got.at(x, 0), stored(cases[x].want), cases[x].ulps,
                        "case " + std::to_string(x));
}

TEST(RadmaskModes, LuminanceOnRgbIsRadmask)
{
    temp_dir dir;
    std::vector<rgba_t> in, blur;
    for (int i = 0; i < 12; i++) {
        in.push_back({0.1 * i, 0.3, 2.0 - 0.15 * i, 0.1 * i});
        blur.push_back({0.2 * i, 0.05 * i, 0.4, 1});
    }
    ASSERT_EQ(run_pair(dir, "radmask", pixels(3, 4, in), pixels(3, 4, blur)).status, 0);
    image want = read_exr(dir / "out.exr");
    run_result r = run_pair(dir, "radmask-modes", pixels(3, 4, in), pixels(3, 4, blur), {"0", "0"});
    ASSERT_EQ(r.status, 0) << r.err;
    expect_image_near(read_exr(dir / "out.exr"), want, 0);
}

TEST(RadmaskModes, SourcesAndTargets)
{
    // Mask values through greys: a grey v has IPT intensity about v^0.43
    // and lightness srgb_lightness(v); white gives 1 in all three sources
    // (lightness just below), so gamma 2.
    const double i_half = std::pow(0.5, 1 / 0.43); // IPT intensity 0.5
    const double j_half = srgb_lightness(0.5, 0.5, 0.5);
    const struct {
        const char *test, *test2;
        double blur, in, want;
    } cases[] = {
        {"1", "0", i_half, 0.3, 0.3},
        {"1", "0", 1.0, 0.5, 0.25},
        {"7", "0", 1.0, 0.5, 0.25},
        {"0", "1", 1.0, 0.5, 0.25},  // IPT intensity squared: a grey about squared
        {"0", "1", 0.0, 0.25, 0.5},
        {"0", "2", 1.0, 0.5, grey_of_lightness(j_half * j_half)}, // J/100 squared
        {"0", "-3", 0.0, 0.5, grey_of_lightness(std::sqrt(j_half))},
        {"zero", "0", 1.0, 0.5, 0.25}, // not a number: 0
    };
    for (const auto &c : cases) {
        temp_dir dir;
        run_result r = run_pair(dir, "radmask-modes", uniform(2, 1, grey(c.in, 0.5)),
                                uniform(2, 1, grey(c.blur)), {c.test, c.test2});
        ASSERT_EQ(r.status, 0) << r.err;
        std::string what = std::string("test ") + c.test + " test2 " + c.test2;
        expect_rgb_near(read_exr(dir / "out.exr").at(1, 0), stored(grey(c.want, 0.5)), 4,
                        what);
    }
}

TEST(RadmaskModes, PrintsTestsBack)
{
    temp_dir dir;
    run_result r = run_pair(dir, "radmask-modes", uniform(1, 1, grey(0.5)), uniform(1, 1, grey(0.3)),
                            {"7", "-3"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "radmask: " + (dir / "in.exr") + " [1x1]\n");
    EXPECT_EQ(r.err, "test 7\ntest2 -3\nradmask: Correcting scanline 0\r\nradmask: Done.\n");
    // CIECAM02 lightness as both source and target: J/100 raised to
    // 2^(2 J_blur / 100 - 1).
    double jb = srgb_lightness(half_round(0.3), half_round(0.3), half_round(0.3));
    double j = srgb_lightness(0.5, 0.5, 0.5);
    double want = grey_of_lightness(std::pow(j, std::pow(2.0, 2 * jb - 1)));
    EXPECT_NEAR(read_exr(dir / "out.exr").at(0, 0).g, want, 2e-3 * want);

    r = run_pair(dir, "radmask-modes", uniform(1, 1, grey(0.5)), uniform(1, 1, grey(0.3)),
                 {"x", "2.9"});
    EXPECT_EQ(r.err.rfind("test 0\ntest2 2\n", 0), 0u) << r.err;
}
