// radpixmap run as a program: 8-bit samples through the Rec. 709 curve,
// 16-bit ones scaled, header comments, the min/max line, invalid headers
// and a raster that ends early.
#include <gtest/gtest.h>

#include "testkit.h"

using namespace testkit;

namespace {

std::string bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s += char(v);
    return s;
}

} // namespace

TEST(Radpixmap, ConvertsEightAndSixteenBitSamples)
{
    // Rec. 709 decoding worked out by hand: 128/255 -> 0.2650, 21/255 ->
    // 0.01899 and 20/255 / 4.5 on the linear segment; 50/100 -> 0.2631.
    const struct {
        const char *what;
        std::string file;
        std::vector<rgba_t> want;
    } cases[] = {
        {"8-bit", "P6\n2 1\n255\n" + bytes({255, 128, 21, 20, 0, 0}),
         {{1, 0.26501262834715, 0.018991497209650234, 1}, {0.017429193899782133, 0, 0, 1}}},
        {"maxval 100 clips", "P6\n1 1\n100\n" + bytes({200, 50, 0}), {{1, 0.2631140780951486, 0, 1}}},
        {"16-bit is linear", "P6\n1 1\n65535\n" + bytes({0x80, 0x00, 0xff, 0xff, 0, 1}),
         {{32768 / 65535.0, 1, 1 / 65535.0, 1}}},
        {"16-bit is not clipped", "P6\n1 1\n1000\n" + bytes({0xff, 0xff, 0x01, 0xf4, 0, 0}),
         {{65.535, 0.5, 0, 1}}},
        {"comments", "P6 raw\n# made by hand\n#\n1 1\n# maxval next\n255\n" + bytes({255, 0, 255}),
         {{1, 0, 1, 1}}},
        // Headers the suite read line by line before, read as then: junk
        // on the magic line (numbers too), after the height, after the
        // maxval; signed numbers.
        {"junk after the size", "P6\n1 1 made by hand\n255\n" + bytes({255, 0, 255}), {{1, 0, 1, 1}}},
        {"junk glued to the height", "P6\n1 1x\n255\n" + bytes({255, 0, 255}), {{1, 0, 1, 1}}},
        {"junk glued to the maxval", "P6\n1 1\n255x\n" + bytes({255, 0, 255}), {{1, 0, 1, 1}}},
        {"a number on a magic line with junk", "P6 7 raw\n1 1\n255\n" + bytes({255, 0, 255}),
         {{1, 0, 1, 1}}},
        {"an overflow on the magic line", "P6 99999999999\n1 1\n255\n" + bytes({255, 0, 255}),
         {{1, 0, 1, 1}}},
        {"signs", "P6\n+1 +1\n+255\n" + bytes({255, 0, 255}), {{1, 0, 1, 1}}},
    };
    for (const auto &c : cases) {
        temp_dir dir;
        write_file(dir / "in.ppm", c.file);
        run_result r = run("radpixmap", {dir / "in.ppm", dir / "out.exr"});
        ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
        image out = read_exr(dir / "out.exr");
        ASSERT_EQ(out.w, int(c.want.size())) << c.what;
        for (int x = 0; x < out.w; x++) {
            const rgba_t &got = out.at(x, 0), &want = c.want[x];
            EXPECT_NEAR(got.r, half_round(want.r), 1e-9) << c.what << " pixel " << x;
            EXPECT_NEAR(got.g, half_round(want.g), 1e-9) << c.what << " pixel " << x;
            EXPECT_NEAR(got.b, half_round(want.b), 1e-9) << c.what << " pixel " << x;
            EXPECT_EQ(got.a, 1.0) << c.what;
        }
    }
}

TEST(Radpixmap, MessagesWithSampleRange)
{
    temp_dir dir;
    // Samples 3 ... 250 spread over rows and channels: min in the last
    // row's blue, max in the first row's green.
    write_file(dir / "in.ppm", "P6\n2 3\n255\n" + bytes({10, 250, 10, 10, 10, 10,  //
                                                         10, 10, 10, 10, 10, 10,  //
                                                         10, 10, 10, 10, 10, 3}));
    run_result r = run("radpixmap", {dir / "in.ppm", dir / "out.exr"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "radpixmap: " + (dir / "in.ppm") + " [2x3]\n");
    EXPECT_EQ(r.err, progress("radpixmap", "Writing scanline", 3, 1) +
                         "\nradpixmap: Done (min 3, max 250).\n");
}

TEST(Radpixmap, InvalidHeadersCreateNoOutput)
{
    const std::string raster = bytes({1, 2, 3});
    const struct {
        const char *what;
        std::string file;
        bool size_line; // printed before the maxval is found wanting
    } cases[] = {
        {"no size line", "P6\n# only a comment\n", false},
        {"size not numbers", "P6\nwide high\n255\n" + raster, false},
        {"zero width", "P6\n0 1\n255\n", false},
        {"maxval 0", "P6\n1 1\n0\n" + raster, true},
        {"maxval above 16 bits", "P6\n1 1\n65536\n" + raster + raster, true},
        {"negative maxval", "P6\n1 1\n-1\n" + raster + raster, true},
        {"no maxval line", "P6\n1 1\n", true},
        {"overflowing width", "P6\n4294967298 1\n255\n" + raster, false},
        {"overflowing height", "P6\n1 99999999999999999999\n255\n" + raster, false},
        {"overflowing maxval", "P6\n1 1\n4294967551\n" + raster, true},
        {"width and height on separate lines, no maxval", "P6\n1\n1\n", true},
        {"only a comment where the maxval belongs", "P6 1 1\n#c\n", true},
        {"junk after the width", "P6\n1x 1\n255\n" + raster, false},
        {"junk before the maxval", "P6\n1\n1\njunk\n255\n" + raster, true},
        {"magic without a header", "P6", false},
        {"no magic", "P 6\n1 1\n255\n" + raster, false},
    };
    for (const auto &c : cases) {
        temp_dir dir;
        std::string in = dir / "in.ppm";
        write_file(in, c.file);
        run_result r = run("radpixmap", {in, dir / "out.exr"});
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_EQ(r.out, c.size_line ? "radpixmap: " + in + " [1x1]\n" : "") << c.what;
        EXPECT_EQ(r.err, "radpixmap: " + in + " is not a valid ppm file.\n") << c.what;
        EXPECT_FALSE(exists(dir / "out.exr")) << c.what;
    }

    temp_dir dir;
    write_file(dir / "huge.ppm", "P6\n100000 100000\n255\n" + raster);
    run_result r = run("radpixmap", {dir / "huge.ppm", dir / "out.exr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "radpixmap: " + (dir / "huge.ppm") + ": 100000x100000 image is too large.\n");
    EXPECT_FALSE(exists(dir / "out.exr"));

    r = run("radpixmap", {dir / "none.ppm", dir / "out.exr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "radpixmap: Cannot open " + (dir / "none.ppm") + "\n");
}

// The data runs out in the middle of row 1 of 3: the raster is read to its
// end, the reader says how many rows it could not fill, and the output is
// not written; an earlier file at the target stays.
TEST(Radpixmap, ShortRasterWritesNothing)
{
    temp_dir dir;
    write_file(dir / "in.ppm", "P6\n2 3\n255\n" + bytes({255, 255, 255, 255, 255, 255, 20, 40, 255, 7}));
    write_file(dir / "out.exr", "earlier\n");
    run_result r = run("radpixmap", {dir / "in.ppm", dir / "out.exr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, progress("radpixmap", "Writing scanline", 3, 1) + "\nppminput: " +
                         (dir / "in.ppm") +
                         ": 2 of 3 rows could not be read, the first row 1: the file ends there\n" +
                         "radpixmap: " + (dir / "out.exr") + " was not written.\n");
    EXPECT_EQ(slurp(dir / "out.exr"), "earlier\n");
}
