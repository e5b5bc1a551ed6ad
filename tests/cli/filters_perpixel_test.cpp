// radbright, radtristim, radconegamma and radmean run as programs: their
// per-pixel results, counts and lines.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "testkit.h"

using namespace testkit;

TEST(Radbright, ColourBecomesItsLuminance)
{
    temp_dir dir;
    write_exr(dir / "in.exr", pixels(2, 12, [] {
                  std::vector<rgba_t> px(24, {0.25, 0.25, 0.25, 1}); // grey is unchanged
                  px[0] = {0, 1, 0, 0.5};                            // green
                  px[1] = {1, 1, 1, 0.25};                           // white stays white
                  px[2] = {-1, 0, 0, 1};                             // negative luminance
                  return px;
              }()));
    run_result r = run("radbright", {dir / "in.exr", dir / "out.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "radbright: " + (dir / "in.exr") + " [2x12]\n");
    EXPECT_EQ(r.err, progress("radbright", "Writing", 12, 10) + "\nradbright: Done.\n");
    std::vector<rgba_t> want(24, {0.25, 0.25, 0.25, 1});
    want[0] = {0.7152, 0.7152, 0.7152, 0.5};
    want[1] = {1, 1, 1, 0.25};
    want[2] = {0, 0, 0, 1};
    expect_image_near(read_exr(dir / "out.exr"), pixels(2, 12, want), 1);
}

TEST(Radtristim, LimitsToZeroOneAndCountsComponents)
{
    const struct {
        const char *name;
        int w, h;
        std::vector<rgba_t> in, want;
        const char *done;
    } cases[] = {
        // R' = -1.5372, G' = 1.8758, B' = -0.204 in each of four pixels
        {"X = 0, Y = 1, Z = 0", 2, 2, std::vector<rgba_t>(4, {0, 1, 0, 0.5}),
         std::vector<rgba_t>(4, {0, 1, 0, 0.5}), "\nradtristim: Done (low 8, high 4).\n"},
        // The D65 white stored in half precision (X = 0.95068..., Z = 1.08887...):
        // R' = 1.00073 is limited, G' = 0.99987 and B' = 0.99989 are not.
        // Black counts nothing; not a number is passed on uncounted.
        {"D65 white, black, not a number", 3, 1,
         {{0.9505, 1, 1.089, 1}, {0, 0, 0, 0.25}, {NAN, 0, 0, 1}},
         {{1, 1, 1, 1}, {0, 0, 0, 0.25}, {0, 0, 0, 1}}, "\nradtristim: Done (low 0, high 1).\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        write_exr(dir / "in.exr", pixels(c.w, c.h, c.in));
        run_result r = run("radtristim", {dir / "in.exr", dir / "out.exr"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, progress("radtristim", "Writing", c.h, 10) + c.done);
        expect_image_near(read_exr(dir / "out.exr"), pixels(c.w, c.h, c.want),
                          1);
    }
}

TEST(Radconegamma, ExponentOfTheConeResponses)
{
    const struct {
        std::vector<std::string> options;
        const char *line;
        rgba_t in, want;
    } cases[] = {
        // n = 1: the matrices invert each other to about four digits
        {{"-n", "1"}, "radconegamma: n 1.000000\n", {0.25, 0.5, 0.75, 0.5}, {0.25, 0.5, 0.75, 0.5}},
        // ... and a negative channel becomes 0
        {{"-n", "1"}, "radconegamma: n 1.000000\n", {-0.5, 0.5, 0.5, 1}, {0, 0.5, 0.5, 1}},
        // n = 0: every cone response is 1, black included, which is white
        {{"-n", "0"}, "radconegamma: n 0.000000\n", {0, 0, 0, 0.75}, {1, 1, 1, 0.75}},
        // black stays black for a positive n; the default n is 0.73
        {{"--"}, "radconegamma: n 0.730000\n", {0, 0, 0, 1}, {0, 0, 0, 1}},
        {{"-n", "0.5"}, "radconegamma: n 0.500000\n", {0, 0, 0, 1}, {0, 0, 0, 1}},
        // grey g: every cone response of D65-normalised grey is about g, so
        // the result is about g^n
        {{"-n", "0.5"}, "radconegamma: n 0.500000\n", {0.25, 0.25, 0.25, 1}, {0.5, 0.5, 0.5, 1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        temp_dir dir;
        write_exr(dir / "in.exr", uniform(1, 12, c.in));
        std::vector<std::string> args = c.options;
        args.push_back(dir / "in.exr");
        args.push_back(dir / "out.exr");
        run_result r = run("radconegamma", args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "radconegamma: " + (dir / "in.exr") + " [1x12]\n");
        EXPECT_EQ(r.err, c.line + progress("radconegamma", "Correcting scanline", 12, 10) +
                             "\nradconegamma: Done.\n");
        expect_image_near(read_exr(dir / "out.exr"), uniform(1, 12, c.want), 4);
    }
}

TEST(Radconegamma, ThreeArgumentsCountedBeforeTheOptions)
{
    const char usage[] = "Usage: radconegamma [-n nval] input.exr output.exr\n";
    const std::vector<std::vector<std::string>> cases = {
        {"in.exr", "out.exr"},       // the two names alone
        {"-n", "0.5", "in.exr"},     // one name after the option
        {"in.exr", "out.exr", "-n"}, // -n without its value
        {"-x", "in.exr", "out.exr"}, // an unknown option
    };
    for (const auto &args : cases) {
        run_result r = run("radconegamma", args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.out, "");
        // getopt names a bad option before the usage text
        ASSERT_GE(r.err.size(), strlen(usage));
        EXPECT_EQ(r.err.substr(r.err.size() - strlen(usage)), usage);
    }
    // The exponent line comes before the input is opened, even when it fails.
    run_result r = run("radconegamma", {"-n", "2", "/nonexistent/in.exr", "out.exr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("radconegamma: n 2.000000\nexrinput: ", 0), 0u) << r.err;
}

TEST(Radmean, UniformImageOfTheMeanColourWithAlphaOne)
{
    const struct {
        const char *name;
        int w, h;
        std::vector<rgba_t> in;
        rgba_t want;
    } cases[] = {
        {"two pixels", 2, 1, {{1, 0, 0, 0.3}, {0, 0, 1, 0.7}}, {0.5, 0, 0.5, 1}},
        {"uniform", 3, 12, std::vector<rgba_t>(36, {0.25, 0.5, 2, 0.25}), {0.25, 0.5, 2, 1}},
        // a negative mean channel is stored as 0
        {"negative mean", 2, 1, {{-1, 1, 0, 1}, {0, 1, 0, 1}}, {0, 1, 0, 1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        write_exr(dir / "in.exr", pixels(c.w, c.h, c.in));
        run_result r = run("radmean", {dir / "in.exr", dir / "out.exr"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, progress("radmean", "Scanning", c.h, 10) +
                             progress("radmean", "Writing", c.h, 10) + "\nradmean: Done.\n");
        expect_image_near(read_exr(dir / "out.exr"), uniform(c.w, c.h, c.want), 2);
    }
}
