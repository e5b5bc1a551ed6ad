// raddiff run as a program: the report on standard output, its lines on
// standard error, and the refusals.
#include <gtest/gtest.h>

#include "testkit.h"

using namespace testkit;

TEST(Raddiff, ReportsTheDifferencesOnStandardOutput)
{
    const rgba_t base = {0.5, 0.5, 0.5, 1};
    const struct {
        const char *name;
        rgba_t other;
        const char *report;
    } cases[] = {
        // +0.1 in red, -0.1 in green: luminance |0.2126 - 0.7152| * 0.1
        {"red up, green down", {0.6, 0.4, 0.5, 1},
         "  Luminance min is   0.050, avg   0.050, max   0.050\n"
         "  Red       min is   0.100, avg   0.100, max   0.100\n"
         "  Green     min is   0.100, avg   0.100, max   0.100\n"
         "  Blue      min is   0.000, avg   0.000, max   0.000\n\n"},
        {"alpha only", {0.5, 0.5, 0.5, 0.25},
         "  Luminance min is   0.000, avg   0.000, max   0.000\n"
         "  Red       min is   0.000, avg   0.000, max   0.000\n"
         "  Green     min is   0.000, avg   0.000, max   0.000\n"
         "  Blue      min is   0.000, avg   0.000, max   0.000\n\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        write_exr(dir / "a.exr", uniform(3, 12, base));
        write_exr(dir / "b.exr", uniform(3, 12, c.other));
        run_result r = run("raddiff", {dir / "a.exr", dir / "b.exr"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "raddiff: " + (dir / "a.exr") + " [3x12]\n" + "raddiff: " +
                             (dir / "b.exr") + " [3x12]\n" + c.report);
        EXPECT_EQ(r.err, progress("raddiff", "Comparing scanline", 12, 10) + "\nraddiff: Done.\n\n");
    }
}

TEST(Raddiff, MinimumMeanAndMaximumOverPixels)
{
    temp_dir dir;
    write_exr(dir / "a.exr", pixels(4, 1, {{0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}}));
    write_exr(dir / "b.exr", pixels(4, 1, {{0.5, 0, 0, 1}, {1, 0, 0, 1}, {2, 0, 0, 1}, {0.5, 0, 0, 1}}));
    run_result r = run("raddiff", {dir / "a.exr", dir / "b.exr"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("  Red       min is   0.500, avg   1.000, max   2.000\n"), std::string::npos)
        << r.out;
}

TEST(Raddiff, Refusals)
{
    temp_dir dir;
    write_exr(dir / "big.exr", uniform(640, 480, {0.5, 0.5, 0.5, 1}));
    write_exr(dir / "small.exr", uniform(320, 240, {0.5, 0.5, 0.5, 1}));

    run_result r = run("raddiff", {dir / "big.exr", dir / "small.exr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "raddiff: " + (dir / "big.exr") + " [640x480]\n");
    EXPECT_EQ(r.err, "raddiff: Whitepoint image (320x240) does not match input image (640x480).\n");

    r = run("raddiff", {dir / "missing.exr", dir / "small.exr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("exrinput: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.substr(r.err.find('\n') + 1),
              "raddiff: Cannot open " + (dir / "missing.exr") + ".\n");

    r = run("raddiff", {dir / "small.exr", dir / "missing.exr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "raddiff: " + (dir / "small.exr") + " [320x240]\n");
    EXPECT_EQ(r.err.substr(r.err.find('\n') + 1),
              "raddiff: Cannot open " + (dir / "missing.exr") + ".\n");

    r = run("raddiff", {dir / "small.exr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Usage: raddiff input1.exr input2.exr\n");
}
