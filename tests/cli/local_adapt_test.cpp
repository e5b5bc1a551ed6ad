// radadapt and radadapt-degree run as programs: CIECAM02 re-rendering from
// the blurred luminance as background to the standard 20 % background, its
// warning for a non-positive background, and the von Kries adaptation to
// the blurred chromaticity with a degree of adaptation.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "local_kit.h"

using namespace testkit;
using namespace local_kit;

namespace {

const double not_a_number = std::numeric_limits<double>::quiet_NaN();

struct pixel_case {
    rgba_t blur, in, want;
    double ulps; // half-float steps of the pixel
};

// Runs program over one pixel a case and compares each result.
void expect_cases(const char *program, const std::vector<std::string> &extra,
                  const std::vector<pixel_case> &cases)
{
    std::vector<rgba_t> in, blur;
    for (const auto &c : cases) {
        in.push_back(c.in);
        blur.push_back(c.blur);
    }
    int n = int(cases.size());
    temp_dir dir;
    run_result r = run_pair(dir, program, pixels(n, 1, in), pixels(n, 1, blur), extra);
    ASSERT_EQ(r.status, 0) << r.err;
    image got = read_exr(dir / "out.exr");
    for (int x = 0; x < n; x++)
        expect_rgb_near(got.at(x, 0), stored(cases[x].want), cases[x].ulps,
                        std::string(program) + " case " + std::to_string(x));
}

} // namespace

TEST(Radadapt, BackgroundFromBlurredLuminance)
{
    // Brighter surroundings than 20 % darken, darker ones lighten; a
    // non-positive luminance takes the background of 1 %.
    expect_cases("radadapt", {},
                 {
                     {grey(1.0), grey(0.5, 0.25), grey(0.410, 0.25), 4},
                     {grey(0.05), grey(0.5), grey(0.542), 4},
                     {grey(0.0), grey(0.5, 0.75), grey(0.566, 0.75), 4},
                     {grey(-0.1), grey(0.5), grey(0.566), 4},
                     // the standard background itself: within the round trip
                     // and the half rounding of the result
                     {grey(0.2), {0.25, 0.125, 0.375, 1}, {0.25, 0.125, 0.375, 1}, 1},
                     // white stays white under any background (to about 1e-3 before
                     // half rounding)
                     {grey(0.001), grey(1.0), grey(1.0), 2},
                     {grey(100.0), grey(1.0), grey(1.0), 2},
                     // a NaN background gives a NaN rendering: the pixel keeps
                     // its own colour, and its alpha
                     {grey(not_a_number), grey(0.5, 0.5), grey(0.5, 0.5), 0},
                 });
}

TEST(Radadapt, OneWarningPerNonPositiveBackground)
{
    temp_dir dir;
    image blur = uniform(3, 12, grey(0.2));
    for (auto [x, y, v] : {std::tuple{0, 0, 0.0}, {2, 0, -0.1}, {1, 5, not_a_number}, {0, 10, 0.0},
                           {1, 11, 0.0}, {2, 11, -2.0}})
        blur.px[size_t(y) * 3 + x] = grey(v);
    run_result r = run_pair(dir, "radadapt", uniform(3, 12, grey(0.5)), blur);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "radadapt: " + (dir / "in.exr") + " [3x12]\n");
    EXPECT_EQ(r.err, "radadapt: Correcting scanline 0\rwarning\nwarning\n"
                     "radadapt: Correcting scanline 10\rwarning\nwarning\nwarning\n"
                     "\nradadapt: Done.\n");

    // A black blurred image: a warning for every pixel, row by row.
    std::string warnings10, warnings2;
    for (int i = 0; i < 30; i++)
        warnings10 += "warning\n";
    for (int i = 0; i < 6; i++)
        warnings2 += "warning\n";
    r = run_pair(dir, "radadapt", uniform(3, 12, grey(0.5)), uniform(3, 12, grey(0)));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "radadapt: Correcting scanline 0\r" + warnings10 +
                         "radadapt: Correcting scanline 10\r" + warnings2 + "\nradadapt: Done.\n");
    expect_image_near(read_exr(dir / "out.exr"), uniform(3, 12, stored(grey(0.566))), 2);
}

TEST(RadadaptDegree, AdaptationToBlurredWhite)
{
    const rgba_t brown = {0.3, 0.2, 0.1, 1};
    const rgba_t in = {0.25, 0.625, 0.875, 0.5};
    // No adaptation: the input back through the matrices, which round to
    // the same halves.
    expect_cases("radadapt-degree", {"0"},
                 {{brown, in, in, 3e-5}, {grey(2.0), in, in, 3e-5}});
    // Full adaptation: a pixel equal to its surround becomes a grey of its
    // luminance, whatever the surround's brightness; a neutral surround
    // leaves a grey nearly alone. A black surround divides by zero.
    expect_cases("radadapt-degree", {"1"},
                 {
                     {brown, brown, grey(0.214), 8},
                     {{0.6, 0.4, 0.2, 1}, brown, grey(0.214), 8},
                     {grey(0.7), grey(0.5), grey(0.5), 3.5e-4},
                     {grey(0.0), grey(0.5, 0.25), grey(0.0, 0.25), 0},
                 });
    expect_cases("radadapt-degree", {"0.5"},
                 {{brown, brown, {0.257, 0.207, 0.157, 1}, 4}});
}

TEST(RadadaptDegree, MessagesOfARun)
{
    const struct {
        const char *degree, *line;
    } cases[] = {
        {"0.333", "radadapt: Degree of adaptation 0.33\n"},
        {"2", "radadapt: Degree of adaptation 2.00\n"},
        {"full", "radadapt: Degree of adaptation 0.00\n"}, // not a number: 0
    };
    for (const auto &c : cases) {
        temp_dir dir;
        run_result r = run_pair(dir, "radadapt-degree", uniform(2, 11, grey(0.5)),
                                uniform(2, 11, {0.3, 0.2, 0.1, 1}), {c.degree});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "radadapt: " + (dir / "in.exr") + " [2x11]\n");
        EXPECT_EQ(r.err, c.line + progress("radadapt", "Correcting scanline", 11, 10) +
                             "\nradadapt: Done.\n");
    }
    run_result r = run("radadapt-degree", {"a", "b", "c"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Usage: radadapt input.exr blur.exr output.exr degree_of_adaptation\n");
    r = run("radadapt", {"a", "b"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Usage: radadapt input.exr blur.exr output.exr\n");
}
