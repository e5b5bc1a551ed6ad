// The photoreceptor variants run as programs: radreceptor-rgb and
// radreceptor-cone (printing as radreceptor), radconereceptor, and radhybrid
// with radhybrid-inverse (printing as radhybrid) and their second image.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <functional>

#include "colour.h"
#include "testkit.h"

using namespace testkit;

namespace {

const char rgb_usage[] =
    "Usage: radreceptor [-f fval] [-m mval] [-c cval] [-a aval] input.exr output.exr\n";
const char cone_usage[] =
    "Usage: radconereceptor [-f fval] [-m mval] [-a aval] input.exr output.exr\n";
const char hybrid_usage[] =
    "Usage: radhybrid [-f fval] [-m mval] [-a aval] input.exr chr.exr output.exr\n";

// A 4 x 12 image: a grey ramp, a bright colour ramp, a saturated colour, and a
// black column with one negative pixel; each column its own alpha.
image scene()
{
    std::vector<rgba_t> px;
    for (int y = 0; y < 12; y++) {
        double g = 0.05 * (y + 1);
        px.push_back({g, g, g, 0.25});
        px.push_back({2.0 + y, 1.5, 0.5 * y + 0.25, 1.0});
        px.push_back({0.8, 0.1, 0.02 * y + 0.01, 0.5});
        px.push_back({y == 3 ? -0.5 : 0.0, 0.0, 0.0, 0.75});
    }
    return pixels(4, 12, px);
}

// The second image for radhybrid: smooth, of other statistics than scene(),
// with an alpha that must not reach the output.
image second_image()
{
    std::vector<rgba_t> px;
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 4; x++)
            px.push_back({0.3 + 0.1 * x, 0.2 + 0.05 * y, 0.4, 0.125});
    return pixels(4, 12, px);
}

// The expected output of `in` (stored values) under a pixel mapping.
image expected(const image &in, const std::function<rgba_t(const rgba_t &, int, int)> &op)
{
    std::vector<rgba_t> px;
    for (int y = 0; y < in.h; y++)
        for (int x = 0; x < in.w; x++) {
            rgba_t e = op(in.at(x, y), x, y);
            px.push_back({written(e.r), written(e.g), written(e.b), in.at(x, y).a});
        }
    return pixels(in.w, in.h, px);
}

void cones(const rgba_t &p, double *l, double *m, double *s)
{
    double x, y, z;
    rgb_to_xyz(p.r, p.g, p.b, &x, &y, &z);
    xyz_to_lms(x, y, z, l, m, s);
}

rgba_t from_cones(double l, double m, double s, double a)
{
    double x, y, z;
    rgba_t out;
    lms_to_xyz(l, m, s, &x, &y, &z);
    xyz_to_rgb(x, y, z, &out.r, &out.g, &out.b);
    out.a = a;
    return out;
}

// Luminance statistics of a stored image and the automatic contrast exponent.
struct luminance {
    double sum = 0, log_sum = 0, max = -DBL_MAX, min = DBL_MAX, n = 0;

    explicit luminance(const image &in)
    {
        for (const rgba_t &p : in.px) {
            double y = 0.2126 * p.r + 0.7152 * p.g + 0.0722 * p.b;
            sum += y;
            if (y > 0) {
                log_sum += std::log(y);
                max = std::max(max, y);
                min = std::min(min, y);
            }
        }
        n = in.px.size();
    }
    double average() const { return sum / n; }
    double automatic_m() const
    {
        double k = (std::log(max) - log_sum / n) / (std::log(max) - std::log(min));
        return 0.3 + 0.7 * std::pow(k, 1.4);
    }
    std::string lines(const std::string &prog) const
    {
        return format("\n%s: Luminance min is %7.3f, avg %7.3f, max %7.3f\n", prog.c_str(), min,
                      average(), max) +
               format("%s: Luminance log min is %7.3f, avg log %7.3f, log max %7.3f\n",
                      prog.c_str(), std::log(min), log_sum / n, std::log(max));
    }
};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string> &more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

} // namespace

TEST(PhotoreceptorVariants, BadCommandLinesPrintUsage)
{
    const struct {
        const char *program;
        std::vector<std::string> args;
        const char *usage;
        bool getopt_first; // getopt names the offending option before the usage
    } cases[] = {
        {"radreceptor-rgb", {"in.exr"}, rgb_usage, false},
        {"radreceptor-cone", {"-c", "1", "in.exr"}, rgb_usage, false},
        {"radreceptor-rgb", {"-x", "in.exr", "out.exr"}, rgb_usage, true},
        {"radconereceptor", {"in.exr"}, cone_usage, false},
        {"radconereceptor", {"-c", "1", "in.exr", "out.exr"}, cone_usage, true},
        {"radhybrid", {"in.exr", "out.exr"}, hybrid_usage, false},
        {"radhybrid-inverse", {"-m", "1", "in.exr", "chr.exr"}, hybrid_usage, false},
        {"radhybrid-inverse", {"in.exr", "chr.exr", "out.exr", "-a"}, hybrid_usage, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program);
        run_result r = run(c.program, c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        if (c.getopt_first) {
            ASSERT_GT(r.err.size(), strlen(c.usage));
            EXPECT_EQ(r.err.substr(r.err.size() - strlen(c.usage)), c.usage);
        } else {
            EXPECT_EQ(r.err, c.usage);
        }
    }
}

TEST(PhotoreceptorVariants, SizeAndUsingLinesShowClampedValues)
{
    temp_dir dir;
    write_exr(dir / "in.exr", scene());
    write_exr(dir / "chr.exr", second_image());
    const std::vector<std::string> one = {dir / "in.exr", dir / "out.exr"};
    const std::vector<std::string> two = {dir / "in.exr", dir / "chr.exr", dir / "out.exr"};
    const struct {
        const char *program;
        std::vector<std::string> args;
        const char *name, *line;
    } cases[] = {
        {"radreceptor-rgb", one, "radreceptor",
         "radreceptor: Using f=0.000, m=0.000, c=0.000 and a=1.000\n"},
        {"radreceptor-rgb", with({"-f", "20", "-m", "2", "-c", "5", "-a", "-1"}, one),
         "radreceptor", "radreceptor: Using f=8.000, m=1.000, c=1.000 and a=0.000\n"},
        {"radreceptor-cone", with({"-f", "-20", "-m", "-1", "-c", "-2", "-a", "5"}, one),
         "radreceptor", "radreceptor: Using f=-8.000, m=0.000, c=0.000 and a=1.000\n"},
        {"radconereceptor", with({"-m", "3", "-a", "0.2", "-a", "7"}, one), "radconereceptor",
         "radconereceptor: Using f=0.000, m=1.000, and a=1.000\n"},
        {"radhybrid", with({"-f", "1.5", "-a", "-3"}, two), "radhybrid",
         "radhybrid: Using f=1.500, m=0.000, and a=0.000\n"},
        {"radhybrid-inverse", with({"-m", "0.75", "-a", "0.5"}, two), "radhybrid",
         "radhybrid: Using f=0.000, m=0.750, and a=0.500\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        run_result r = run(c.program, c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, std::string(c.name) + ": " + (dir / "in.exr") + " [4x12]\n");
        EXPECT_EQ(r.err.rfind(c.line, 0), 0u) << r.err;
    }
}

TEST(RadreceptorRgb, ChannelsAreCompressedAgainstTheirOwnSigma)
{
    temp_dir dir;
    write_exr(dir / "in.exr", scene());
    image in = read_exr(dir / "in.exr");
    luminance lum(in);
    double average[3] = {0, 0, 0};
    for (const rgba_t &p : in.px) {
        average[0] += p.r / in.px.size();
        average[1] += p.g / in.px.size();
        average[2] += p.b / in.px.size();
    }

    const struct {
        std::vector<std::string> options;
        double f, m, c, a; // m = 0: the automatic value
        bool grey_stays_grey, positive_becomes_half;
    } cases[] = {
        {{}, 0, 0, 0, 1, true, false},
        {{"-f", "-1", "-m", "0.7", "-a", "0.4"}, -1, 0.7, 0, 0.4, true, false},
        {{"-c", "1", "-a", "1", "-m", "1", "-f", "0"}, 0, 1, 1, 1, false, true},
        // a = 0: each channel's sigma comes from the image averages alone
        {{"-f", "1", "-m", "0.8", "-c", "0.5", "-a", "0"}, 1, 0.8, 0.5, 0, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        run_result r = run("radreceptor-rgb", with(c.options, {dir / "in.exr", dir / "out.exr"}));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("Calculated"), std::string::npos);
        double m = c.m != 0 ? c.m : lum.automatic_m();
        double fp = std::exp(-c.f);
        image want = expected(in, [&](const rgba_t &p, int, int) {
            double y = 0.2126 * p.r + 0.7152 * p.g + 0.0722 * p.b;
            double v[3] = {p.r, p.g, p.b};
            for (int i = 0; i < 3; i++) {
                double level = c.a * (c.c * v[i] + (1 - c.c) * y) +
                               (1 - c.a) * (c.c * average[i] + (1 - c.c) * lum.average());
                v[i] = v[i] / (v[i] + std::pow(fp * level, m));
            }
            return rgba_t{v[0], v[1], v[2], p.a};
        });
        image got = read_exr(dir / "out.exr");
        expect_image_near(got, want, 2);
        for (int y = 0; y < 12; y++) {
            if (c.grey_stays_grey) {
                EXPECT_EQ(got.at(0, y).r, got.at(0, y).g);
                EXPECT_EQ(got.at(0, y).g, got.at(0, y).b);
            }
            for (int x = 0; c.positive_becomes_half && x < 4; x++)
                for (int i = 0; i < 3; i++)
                    if ((&in.at(x, y).r)[i] > 0) {
                        EXPECT_EQ((&got.at(x, y).r)[i], 0.5);
                    }
        }
    }
}

TEST(RadreceptorCone, ConesShareOneSigmaAndCIsUnused)
{
    temp_dir dir;
    write_exr(dir / "in.exr", scene());
    image in = read_exr(dir / "in.exr");
    double average = luminance(in).average();

    run_result r = run("radreceptor-cone", {"-m", "0.6", "-a", "0.4", "-f", "0.5", dir / "in.exr",
                                            dir / "c0.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run("radreceptor-cone", {"-m", "0.6", "-a", "0.4", "-f", "0.5", "-c", "0.7",
                                 dir / "in.exr", dir / "c7.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("radreceptor: Using f=0.500, m=0.600, c=0.700 and a=0.400\n", 0), 0u);

    image want = expected(in, [&](const rgba_t &p, int, int) {
        double l, m, s;
        cones(p, &l, &m, &s);
        double y = 0.2126 * p.r + 0.7152 * p.g + 0.0722 * p.b;
        double sigma = std::pow(std::exp(-0.5) * (0.4 * y + 0.6 * average), 0.6);
        return from_cones(l / (l + sigma), m / (m + sigma), s / (s + sigma), p.a);
    });
    image c0 = read_exr(dir / "c0.exr");
    expect_image_near(c0, want, 2);
    expect_image_near(read_exr(dir / "c7.exr"), c0, 0);
}

TEST(Radconereceptor, MessagesAndAutomaticContrast)
{
    temp_dir dir;
    write_exr(dir / "in.exr", scene());
    image in = read_exr(dir / "in.exr");
    luminance lum(in);
    double m = lum.automatic_m();

    run_result r = run("radconereceptor", {dir / "in.exr", dir / "out.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "radconereceptor: " + (dir / "in.exr") + " [4x12]\n");
    EXPECT_EQ(r.err, "radconereceptor: Using f=0.000, m=0.000, and a=1.000\n" +
                         progress("radconereceptor", "Scanning", 12, 1) +
                         lum.lines("radconereceptor") +
                         format("radconereceptor: Calculated m value is %f\n", m) +
                         progress("radconereceptor", "Correcting scanline", 12, 10) +
                         "\nradconereceptor: Done.\n");

    image want = expected(in, [&](const rgba_t &p, int, int) {
        double l, mm, s;
        cones(p, &l, &mm, &s);
        return from_cones(l / (l + std::pow(l, m)), mm / (mm + std::pow(mm, m)),
                          s / (s + std::pow(s, m)), p.a);
    });
    image got = read_exr(dir / "out.exr");
    expect_image_near(got, want, 2);

    // -a is reported but changes nothing.
    r = run("radconereceptor", {"-a", "0.2", dir / "in.exr", dir / "a.exr"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err.rfind("radconereceptor: Using f=0.000, m=0.000, and a=0.200\n", 0), 0u);
    expect_image_near(read_exr(dir / "a.exr"), got, 0);
}

TEST(Radconereceptor, GivenContrastOfOneGivesMidGrey)
{
    temp_dir dir;
    write_exr(dir / "in.exr", scene());
    image in = read_exr(dir / "in.exr");
    run_result r = run("radconereceptor", {"-m", "1", dir / "in.exr", dir / "out.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Calculated"), std::string::npos) << r.err;

    image got = read_exr(dir / "out.exr");
    // 2e-4 from the matrices, plus half of a half-float step at 0.5.
    const double tol = 2e-4 + 2.5e-4;
    for (int y = 0; y < 12; y++) {
        for (int x = 0; x < 3; x++) {
            EXPECT_NEAR(got.at(x, y).r, 0.5, tol);
            EXPECT_NEAR(got.at(x, y).g, 0.5, tol);
            EXPECT_NEAR(got.at(x, y).b, 0.5, tol);
            EXPECT_EQ(got.at(x, y).a, in.at(x, y).a);
        }
    }
    EXPECT_EQ(got.at(3, 0).r, 0); // a black pixel's 0 / 0 is stored as 0
    EXPECT_EQ(got.at(3, 0).a, 0.75);
}

TEST(Radhybrid, SecondImageSetsSigmaAndStatisticsComeFromTheInput)
{
    temp_dir dir;
    write_exr(dir / "in.exr", scene());
    write_exr(dir / "chr.exr", second_image());
    image in = read_exr(dir / "in.exr"), chr = read_exr(dir / "chr.exr");
    luminance lum(in);
    double m = lum.automatic_m();

    run_result r = run("radhybrid", {"-f", "0.5", dir / "in.exr", dir / "chr.exr", dir / "out.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "radhybrid: " + (dir / "in.exr") + " [4x12]\n");
    EXPECT_EQ(r.err, "radhybrid: Using f=0.500, m=0.000, and a=1.000\n" +
                         progress("radhybrid", "Scanning", 12, 10) + lum.lines("radhybrid") +
                         format("radhybrid: Calculated m value is %f\n", m) +
                         progress("radhybrid", "Correcting scanline", 12, 10) +
                         "\nradhybrid: Done.\n");

    double fp = std::exp(-0.5);
    image want = expected(in, [&](const rgba_t &p, int x, int y) {
        double l, mm, s, l2, m2, s2;
        cones(p, &l, &mm, &s);
        cones(chr.at(x, y), &l2, &m2, &s2);
        return from_cones(l / (l + std::pow(fp * l2, m)), mm / (mm + std::pow(fp * m2, m)),
                          s / (s + std::pow(fp * s2, m)), p.a);
    });
    // expected() takes alpha from the input: the second image's 0.125 must not appear.
    expect_image_near(read_exr(dir / "out.exr"), want, 2);
}

TEST(Radhybrid, InverseRestoresTheInput)
{
    temp_dir dir;
    image scene_in = scene();
    write_exr(dir / "in.exr", scene_in);
    write_exr(dir / "chr.exr", second_image());
    run_result r = run("radhybrid", {"-m", "0.8", "-f", "0.5", dir / "in.exr", dir / "chr.exr",
                                     dir / "mid.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run("radhybrid-inverse", {"-m", "0.8", "-f", "0.5", dir / "mid.exr", dir / "chr.exr",
                                  dir / "back.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Calculated"), std::string::npos);

    image in = read_exr(dir / "in.exr"), back = read_exr(dir / "back.exr");
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 4; x++) {
            const rgba_t &p = in.at(x, y), &q = back.at(x, y);
            if (p.r < 0)
                continue; // the writer stored its compressed negative cones as 0
            SCOPED_TRACE(testing::Message() << "pixel " << x << "," << y);
            for (int i = 0; i < 3; i++) {
                double want = (&p.r)[i], got = (&q.r)[i];
                // A half-float step of the compressed value V grows by
                // 1 / (1 - V) on the way back: up to about 0.5 % here.
                EXPECT_NEAR(got, want, 1e-2 * std::fabs(want) + 2e-3);
            }
            EXPECT_EQ(q.a, p.a);
        }
}

TEST(Radhybrid, InverseOfAConeResponseOfOneIsStoredAsTheWriterLimits)
{
    // This pixel's M cone response computes to exactly 1 (L and S do not):
    // the inverse divides by zero and the infinite cone makes every channel
    // infinite or NaN, which the writer stores as 65504 or 0.
    const rgba_t one = {1.67578125, 0.962890625, 0.25390625, 0.5};
    double l, m, s;
    cones(one, &l, &m, &s);
    ASSERT_EQ(m, 1.0);
    const rgba_t plain = {0.25, 0.2, 0.1, 1};
    temp_dir dir;
    write_exr(dir / "in.exr", pixels(2, 1, {one, plain}));
    write_exr(dir / "chr.exr", uniform(2, 1, {0.5, 0.5, 0.5, 1}));
    run_result r = run("radhybrid-inverse", {"-m", "1", dir / "in.exr", dir / "chr.exr",
                                             dir / "out.exr"});
    ASSERT_EQ(r.status, 0) << r.err;

    double l2, m2, s2;
    cones({0.5, 0.5, 0.5, 1}, &l2, &m2, &s2);
    rgba_t f = from_cones(l2 * l / (1 - l), m2 * m / (1 - m), s2 * s / (1 - s), 0.5);
    EXPECT_TRUE(std::isinf(f.r) || std::isnan(f.r));
    cones(plain, &l, &m, &s);
    rgba_t e = from_cones(l2 * l / (1 - l), m2 * m / (1 - m), s2 * s / (1 - s), 1);
    expect_image_near(read_exr(dir / "out.exr"),
                      pixels(2, 1, {{written(f.r), written(f.g), written(f.b), 0.5},
                                    {written(e.r), written(e.g), written(e.b), 1}}),
                      2);
}

TEST(Radhybrid, SecondImageThatCannotBeUsed)
{
    temp_dir dir;
    write_exr(dir / "in.exr", scene());
    write_exr(dir / "short.exr", uniform(4, 11, {1, 1, 1, 1}));
    write_exr(dir / "wide.exr", uniform(5, 12, {1, 1, 1, 1}));
    write_exr(dir / "small.exr", uniform(3, 5, {1, 1, 1, 1}));
    const struct {
        const char *program, *second, *err;
    } cases[] = {
        {"radhybrid", "short.exr", "radhybrid: Whitepoint image (4x11) does not match input image (4x12).\n"},
        {"radhybrid-inverse", "wide.exr", "radhybrid: Whitepoint image (5x12) does not match input image (4x12).\n"},
        {"radhybrid", "small.exr", "radhybrid: Whitepoint image (3x5) does not match input image (4x12).\n"},
        {"radhybrid-inverse", "missing.exr", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.second);
        run_result r = run(c.program, {dir / "in.exr", dir / c.second, dir / "out.exr"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "radhybrid: " + (dir / "in.exr") + " [4x12]\n");
        if (c.err) {
            EXPECT_EQ(r.err, c.err);
        } else {
            EXPECT_EQ(r.err.rfind("exrinput: ", 0), 0u) << r.err;
            EXPECT_EQ(r.err.substr(r.err.find('\n') + 1),
                      "radhybrid: Cannot open " + (dir / c.second) + ".\n");
        }
        EXPECT_FALSE(exists(dir / "out.exr"));
    }
}
