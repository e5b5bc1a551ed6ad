// radrescale and radrescale-max run as programs: the scanning and the given
// mode of each, their messages and the images with nothing to stretch.
#include <gtest/gtest.h>

#include <cstdio>

#include "testkit.h"

using namespace testkit;

TEST(Radrescale, ScanningStretchesSmallestPositiveToZeroAndLargestToOne)
{
    temp_dir dir;
    // 2 x 12: the smallest positive value 0.25 and the largest 2 sit in
    // different channels and rows; zeros and negatives lie below the range.
    std::vector<rgba_t> px;
    for (int y = 0; y < 12; y++) {
        px.push_back({0.25 + 0.125 * y, y == 5 ? 2.0 : 0.5, 0.0, 0.5});
        px.push_back({-1.0, 1.0, 0.25, 1.0});
    }
    write_exr(dir / "in.exr", pixels(2, 12, px));
    run_result r = run("radrescale", {dir / "in.exr", dir / "out.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "radrescale: " + (dir / "in.exr") + " [2x12]\n");
    EXPECT_EQ(r.err, progress("radrescale", "Scanning", 12, 10) +
                         "\nradrescale: Minimum value: 0.250, maximum 2.000\n" +
                         progress("radrescale", "Writing", 12, 10) + "\nradrescale: Done.\n");

    std::vector<rgba_t> want;
    for (int y = 0; y < 12; y++) {
        want.push_back({0.125 * y / 1.75, y == 5 ? 1.0 : 0.25 / 1.75, 0.0, 0.5});
        want.push_back({0.0, 0.75 / 1.75, 0.0, 1.0});
    }
    expect_image_near(read_exr(dir / "out.exr"), pixels(2, 12, want), 2);
}

// Each case: one program, its extra argument (none for the scanning mode),
// a one-row input, the line after the first pass and the expected output.
TEST(Radrescale, ModesAndDegenerateImages)
{
    const struct {
        const char *program;
        std::vector<std::string> extra;
        std::vector<rgba_t> in, want;
        const char *line;
    } cases[] = {
        // a given minimum is subtracted without scaling: 0.5 -> 0.4, 0.05 -> 0,
        // above 1 stays above 1
        {"radrescale", {"0.1"},
         {{0.5, 0.05, 3.0, 0.25}}, {{0.4, 0.0, 2.9, 0.25}},
         "\nradrescale: Setting minimum value: 0.100\n"},
        // every positive value equal: 0 / 0 everywhere, written as 0
        {"radrescale", {},
         {{0.5, 0.5, 0.5, 1}, {0.5, 0.5, 0.5, 0.5}}, {{0, 0, 0, 1}, {0, 0, 0, 0.5}},
         "\nradrescale: Minimum value: 0.500, maximum 0.500\n"},
        // no positive value: the range is taken as [0, 0] and the image stays
        // black instead of being stretched to white
        {"radrescale", {},
         {{0, 0, 0, 1}, {-0.5, 0, -2, 1}}, {{0, 0, 0, 1}, {0, 0, 0, 1}},
         "\nradrescale: Minimum value: 0.000, maximum 0.000\n"},
        // radrescale-max divides by the largest value of any channel
        {"radrescale-max", {},
         {{0.5, 2.0, 0.25, 0.75}, {1, -1, 0, 1}}, {{0.25, 1.0, 0.125, 0.75}, {0.5, 0, 0, 1}},
         "\nradrescale: Maximum value: 2.000\n"},
        // an all-negative image divides by its negative maximum
        {"radrescale-max", {},
         {{-0.5, -1, -2, 1}}, {{1, 2, 4, 1}},
         "\nradrescale: Maximum value: -0.500\n"},
        {"radrescale-max", {"4"},
         {{0.5, 2.0, 8.0, 1}}, {{0.125, 0.5, 2.0, 1}},
         "\nradrescale: Setting maximum value: 4.000\n"},
        // a given 0 makes every quotient infinite (stored as the largest
        // half) or not a number (stored as 0)
        {"radrescale-max", {"0"},
         {{0.5, 0, 1, 1}}, {{65504, 0, 65504, 1}},
         "\nradrescale: Setting maximum value: 0.000\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + (c.extra.empty() ? "" : c.extra[0]) + c.line);
        temp_dir dir;
        int w = int(c.in.size());
        write_exr(dir / "in.exr", pixels(w, 1, c.in));
        std::vector<std::string> args = {dir / "in.exr", dir / "out.exr"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        run_result r = run(c.program, args);
        ASSERT_EQ(r.status, 0) << r.err;
        std::string scan = c.extra.empty() ? "radrescale: Scanning 0\r" : "";
        EXPECT_EQ(r.err, scan + c.line + "radrescale: Writing 0\r\nradrescale: Done.\n");
        expect_image_near(read_exr(dir / "out.exr"), pixels(w, 1, c.want), 4);
    }
}
