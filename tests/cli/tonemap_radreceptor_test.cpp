// radreceptor run as a program: command line, messages, statistics and the
// photoreceptor mapping of IPT intensity.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>

#include "colour.h"
#include "testkit.h"

using namespace testkit;

namespace {

const char usage[] = "Usage: radreceptor [-f fval] [-m mval] [-a aval] input.exr output.exr\n";

// The mapping of one pixel, computed here from the colour functions.
rgba_t expected_pixel(const rgba_t &p, double f, double m, double a, double average)
{
    double x, y, z, i, pp, t;
    rgb_to_xyz(p.r, p.g, p.b, &x, &y, &z);
    xyz_to_ipt(&i, &pp, &t, x, y, z);
    double sigma = std::pow(std::exp(-f) * (a * y + (1 - a) * average), m);
    ipt_to_xyz(&x, &y, &z, i / (i + sigma), pp, t);
    rgba_t out;
    xyz_to_rgb(x, y, z, &out.r, &out.g, &out.b);
    out.a = p.a;
    return out;
}

// A 3 x 12 test image with luminances over four decades, a black pixel,
// a negative one and varied alpha.
image scene()
{
    std::vector<rgba_t> px;
    for (int y = 0; y < 12; y++) {
        px.push_back({0.01 * (y + 1), 0.02 * (y + 1), 0.005, 0.25});
        px.push_back({2.0 + y, 1.5, 0.5 * y, 1.0});
        px.push_back({y == 3 ? -0.5 : 0.0, 0.0, 0.0, 0.75});
    }
    return pixels(3, 12, px);
}

} // namespace

TEST(Radreceptor, BadCommandLinesPrintUsage)
{
    const std::vector<std::vector<std::string>> cases = {
        {},                  // nothing
        {"in.exr"},          // one argument
        {"-m"},              // the count is tested before the options
        {"-f", "1", "in.exr"}, // one operand after the options
    };
    for (const auto &args : cases) {
        run_result r = run("radreceptor", args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, usage);
        EXPECT_EQ(r.out, "");
    }
    // getopt names the offending option first.
    for (const auto &args : std::vector<std::vector<std::string>>{{"-x", "a", "b"}, {"a", "b", "-m"}}) {
        run_result r = run("radreceptor", args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("radreceptor"), 0u);
        EXPECT_GT(r.err.size(), strlen(usage));
        EXPECT_EQ(r.err.substr(r.err.size() - strlen(usage)), usage);
        EXPECT_EQ(r.out, "");
    }
}

TEST(Radreceptor, OptionsAreClampedAndEchoed)
{
    temp_dir dir;
    write_exr(dir / "in.exr", uniform(2, 2, {0.5, 0.25, 0.125, 1}));
    const struct {
        std::vector<std::string> options;
        const char *line;
    } cases[] = {
        {{}, "radreceptor: Using f=0.000, m=0.000, and a=1.000\n"},
        {{"-f", "20", "-m", "2", "-a", "5"}, "radreceptor: Using f=8.000, m=1.000, and a=1.000\n"},
        {{"-f", "-20", "-m", "-1", "-a", "-1"}, "radreceptor: Using f=-8.000, m=0.000, and a=0.000\n"},
        {{"-f", "1", "-f", "0.25", "-m", "x"}, "radreceptor: Using f=0.250, m=0.000, and a=1.000\n"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = c.options;
        args.push_back(dir / "in.exr");
        args.push_back(dir / "out.exr");
        run_result r = run("radreceptor", args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err.rfind(c.line, 0), 0u) << r.err;
    }
}

TEST(Radreceptor, MessagesStatisticsAndAutomaticContrast)
{
    temp_dir dir;
    image in = scene();
    write_exr(dir / "in.exr", in);
    run_result r = run("radreceptor", {dir / "in.exr", dir / "out.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "radreceptor: " + (dir / "in.exr") + " [3x12]\n");

    // Statistics of the stored (half) values, computed independently.
    double sum = 0, log_sum = 0, mx = -DBL_MAX, mn = DBL_MAX;
    for (const rgba_t &p0 : in.px) {
        rgba_t p = {half_round(p0.r), half_round(p0.g), half_round(p0.b), half_round(p0.a)};
        double y = 0.2126 * p.r + 0.7152 * p.g + 0.0722 * p.b;
        sum += y;
        if (y > 0) {
            log_sum += std::log(y);
            mx = std::max(mx, y);
            mn = std::min(mn, y);
        }
    }
    double n = 36, average = sum / n, average_log = log_sum / n;
    std::string want = "radreceptor: Using f=0.000, m=0.000, and a=1.000\n" +
                       progress("radreceptor", "Scanning", 12, 10) +
                       format("\nradreceptor: Luminance min is %7.3f, avg %7.3f, max %7.3f\n",
                              mn, average, mx) +
                       format("radreceptor: Luminance log min is %7.3f, avg log %7.3f, log max %7.3f\n",
                              std::log(mn), average_log, std::log(mx)) +
                       progress("radreceptor", "Correcting scanline", 12, 10) +
                       "\nradreceptor: Done.\n";
    EXPECT_EQ(r.err, want);

    double k = (std::log(mx) - average_log) / (std::log(mx) - std::log(mn));
    double m = 0.3 + 0.7 * std::pow(k, 1.4);
    std::vector<rgba_t> px;
    for (const rgba_t &p0 : in.px) {
        rgba_t p = {half_round(p0.r), half_round(p0.g), half_round(p0.b), half_round(p0.a)};
        rgba_t e = expected_pixel(p, 0, m, 1, average);
        // the writer stores negative and NaN values as 0
        for (double *v : {&e.r, &e.g, &e.b})
            *v = std::isnan(*v) || *v < 0 ? 0 : half_round(*v);
        px.push_back(e);
    }
    image got = read_exr(dir / "out.exr");
    expect_image_near(got, pixels(3, 12, px), 2);
    EXPECT_EQ(got.at(2, 0).r, 0); // black stays black
    EXPECT_EQ(got.at(0, 5).a, 0.25);
    EXPECT_EQ(got.at(2, 5).a, 0.75);
    EXPECT_EQ(got.compression, 4);
}

TEST(Radreceptor, GivenParametersEnterTheMapping)
{
    temp_dir dir;
    image in = scene();
    write_exr(dir / "in.exr", in);
    run_result r = run("radreceptor",
                       {"-f", "1.5", "-m", "0.6", "-a", "0.3", dir / "in.exr", dir / "out.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    double sum = 0;
    for (const rgba_t &p : in.px)
        sum += 0.2126 * half_round(p.r) + 0.7152 * half_round(p.g) + 0.0722 * half_round(p.b);
    image got = read_exr(dir / "out.exr");
    for (int y = 0; y < 12; y++) {
        const rgba_t &p0 = in.at(1, y);
        rgba_t p = {half_round(p0.r), half_round(p0.g), half_round(p0.b), 1};
        rgba_t e = expected_pixel(p, 1.5, 0.6, 0.3, sum / 36);
        for (double *v : {&e.r, &e.g, &e.b})
            *v = std::max(*v, 0.0); // the writer stores negative values as 0
        EXPECT_NEAR(got.at(1, y).r, e.r, 2e-3 * std::fabs(e.r) + 1e-4);
        EXPECT_NEAR(got.at(1, y).g, e.g, 2e-3 * std::fabs(e.g) + 1e-4);
        EXPECT_NEAR(got.at(1, y).b, e.b, 2e-3 * std::fabs(e.b) + 1e-4);
    }
}

TEST(Radreceptor, UniformImageHasNoAutomaticContrast)
{
    // ln max = ln min, so k = 0 / 0: every colour is NaN and stored as 0.
    temp_dir dir;
    write_exr(dir / "in.exr", uniform(4, 3, {0.5, 0.5, 0.5, 0.5}));
    run_result r = run("radreceptor", {dir / "in.exr", dir / "out.exr"});
    ASSERT_EQ(r.status, 0);
    expect_image_near(read_exr(dir / "out.exr"), uniform(4, 3, {0, 0, 0, 0.5}), 0);
}

TEST(Radreceptor, NoPositiveLuminance)
{
    temp_dir dir;
    write_exr(dir / "in.exr", uniform(2, 2, {0, 0, 0, 1}));
    run_result r = run("radreceptor", {dir / "in.exr", dir / "out.exr"});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.err.find(format("\nradreceptor: Luminance min is %7.3f, avg %7.3f, max %7.3f\n",
                                DBL_MAX, 0.0, -DBL_MAX)),
              std::string::npos);
    EXPECT_NE(r.err.find(format("radreceptor: Luminance log min is %7.3f, avg log %7.3f, log max %7.3f\n",
                                std::log(DBL_MAX), 0.0, std::log(-DBL_MAX))),
              std::string::npos)
        << r.err;
}

