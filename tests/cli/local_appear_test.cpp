// radappear, radappear-cone and radappear-sigmoid run as programs: the
// exponent k FL(m level) floored by l, the input scale c, the fixed sigmoid,
// the two usage texts and the option line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "local_kit.h"

using namespace testkit;
using namespace local_kit;

namespace {

const char usage_long[] =
    "Usage: radappear [-m mval] [-c cval] [-k kval] [-l lval] input.exr blur.exr output.exr\n";
const char usage_short[] =
    "Usage: radappear [-m mval] [-c cval] [-k kval] input.exr blur.exr output.exr\n";
const char *const programs[] = {"radappear", "radappear-cone", "radappear-sigmoid"};

// The CIECAM02 luminance-level adaptation factor, written out here.
double fl(double la)
{
    double x = 5 * la, k = 1 / (x + 1), k4 = k * k * k * k;
    return 0.2 * k4 * x + 0.1 * (1 - k4) * (1 - k4) * std::cbrt(x);
}

double exponent(double m, double k, double l, double level)
{
    return std::max(l, k * fl(m * level));
}

// Runs program with -c 1 on a row of grey 0.5 pixels under blurred greys
// whose adaptation level is levels[i] (IPT intensity of a grey v is about
// v^0.43, luminance is v) and checks each result is about 0.5^gamma.
void expect_exponents(const char *program, double m, double l, bool ipt,
                      const std::vector<std::pair<double, double>> &levels)
{
    const double k = 1 / 1.7;
    std::vector<rgba_t> blur;
    for (const auto &[level, gamma] : levels) {
        EXPECT_NEAR(exponent(m, k, l, level), gamma, 5e-3) << level;
        blur.push_back(grey(ipt ? std::pow(level, 1 / 0.43) : level));
    }
    int n = int(levels.size());
    temp_dir dir;
    run_result r = run_pair(dir, program, uniform(n, 1, grey(0.5, 0.25)), pixels(n, 1, blur), {},
                            {"-c", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    image got = read_exr(dir / "out.exr");
    for (int x = 0; x < n; x++) {
        double want = std::pow(0.5, exponent(m, k, l, levels[x].first));
        expect_rgb_near(got.at(x, 0), stored(grey(want, 0.25)), 4,
                        std::string(program) + " level " + std::to_string(levels[x].first));
    }
}

} // namespace

TEST(Radappear, ExponentFromBlurredIntensity)
{
    // A level of 0.01 gives k FL of about 0.217, below the floor 0.3; black
    // gives FL = 0 and the floor too.
    expect_exponents("radappear", 1000, 0.3, true,
                     {{0.0, 0.3}, {0.01, 0.3}, {0.1, 0.467}, {0.5, 0.798}, {1, 1.01}, {10, 2.17}});
}

TEST(RadappearCone, ExponentFromBlurredLuminance)
{
    expect_exponents("radappear-cone", 100, 0.0001, false, {{0.0, 0.0001}, {0.18, 0.264}, {1, 0.467}});
}

TEST(Radappear, UnitExponentScalesByC)
{
    // -k 0 -l 1 makes gamma 1: the result is c times the input.
    const rgba_t in = {0.2, 0.5, 0.1, 0.75};
    const struct {
        const char *program;
        std::vector<std::string> options;
        const char *line;
        double c;
    } cases[] = {
        {"radappear", {"-k", "0", "-l", "1"}, "m 1000.000000, c 100.000000, k 0.000000, l 1.000000\n", 100},
        {"radappear-cone", {"-k", "0", "-l", "1"}, "m 100.000000, c 100.000000, k 0.000000, l 1.000000\n", 100},
        {"radappear", {"-c", "3", "-k", "0", "-l", "1", "-c", "2", "-m", "7"},
         "m 7.000000, c 2.000000, k 0.000000, l 1.000000\n", 2},
        {"radappear-cone", {"-l", "1", "-c", "2", "-k", "0"},
         "m 100.000000, c 2.000000, k 0.000000, l 1.000000\n", 2},
    };
    for (const auto &c : cases) {
        temp_dir dir;
        run_result r = run_pair(dir, c.program, uniform(2, 2, in), uniform(2, 2, grey(0.3)), {},
                                c.options);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.rfind(c.line, 0), 0u) << r.err;
        rgba_t h = as_half(in);
        expect_rgb_near(read_exr(dir / "out.exr").at(1, 1),
                        stored({c.c * h.r, c.c * h.g, c.c * h.b, h.a}), 4, c.program);
    }
}

TEST(RadappearSigmoid, FixedCompressionOfGreys)
{
    const struct {
        double in, want;
    } cases[] = {{0, 0}, {0.5, 0.5}, {1, 0.624}, {10, 0.899}, {0.1, 0.236}};
    const int n = sizeof cases / sizeof cases[0];
    std::vector<rgba_t> in, noise;
    for (int x = 0; x < n; x++) {
        in.push_back(grey(cases[x].in, 0.5));
        noise.push_back({0.3 * x, 5.0 - x, 0.01, 1});
    }
    temp_dir dir, other;
    ASSERT_EQ(run_pair(dir, "radappear-sigmoid", pixels(n, 1, in), uniform(n, 1, grey(0))).status, 0);
    image got = read_exr(dir / "out.exr");
    for (int x = 0; x < n; x++) {
        double g = cases[x].in, w = std::pow(g, 0.73);
        EXPECT_NEAR(w / (w + std::pow(0.5, 0.73)), cases[x].want, 5e-4);
        expect_rgb_near(got.at(x, 0), stored(grey(cases[x].want, 0.5)), 2,
                        "grey " + std::to_string(g));
    }
    // Neither the blurred image nor the options change the result.
    run_result r = run_pair(other, "radappear-sigmoid", pixels(n, 1, in), pixels(n, 1, noise), {},
                            {"-m", "5", "-c", "3", "-k", "2", "-l", "9"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err.rfind("m 5.000000, c 3.000000, k 2.000000, l 9.000000\n", 0), 0u);
    expect_image_near(read_exr(other / "out.exr"), got, 0);
}

TEST(Radappear, UsageTexts)
{
    const std::vector<std::vector<std::string>> long_cases = {
        {},
        {"-m"},                   // the count is tested before the options
        {"a", "b"},
        {"-m", "1", "a", "b"},    // two operands after the options
    };
    const std::vector<std::vector<std::string>> short_cases = {
        {"-x", "a", "b", "c"},    // unknown option
        {"a", "b", "c", "-l"},    // option without its value
    };
    for (const char *program : programs) {
        for (const auto &args : long_cases) {
            run_result r = run(program, args);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, usage_long) << program;
            EXPECT_EQ(r.out, "");
        }
        for (const auto &args : short_cases) {
            run_result r = run(program, args);
            EXPECT_EQ(r.status, 1);
            // getopt's own diagnostic comes first
            ASSERT_GT(r.err.size(), strlen(usage_short)) << program;
            EXPECT_NE(r.err.find('\n'), r.err.size() - 1);
            EXPECT_EQ(r.err.substr(r.err.size() - strlen(usage_short)), usage_short) << program;
            EXPECT_EQ(r.out, "");
        }
    }
}

TEST(Radappear, MessagesOfARun)
{
    const struct {
        const char *program, *line;
    } cases[] = {
        {"radappear", "m 1000.000000, c 100.000000, k 0.588235, l 0.300000\n"},
        {"radappear-cone", "m 100.000000, c 100.000000, k 0.588235, l 0.000100\n"},
        {"radappear-sigmoid", "m 1000.000000, c 100.000000, k 0.588235, l 0.300000\n"},
    };
    for (const auto &c : cases) {
        temp_dir dir;
        run_result r = run_pair(dir, c.program, uniform(2, 12, grey(0.5)), uniform(2, 12, grey(0.2)));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "radappear: " + (dir / "in.exr") + " [2x12]\n");
        EXPECT_EQ(r.err, c.line + progress("radappear", "Correcting scanline", 12, 10) +
                             "\nradappear: Done.\n");
    }
}
