// radjfif run as a program: the YCbCr to linear RGB arithmetic on JPEGs
// written from exact samples, its information lines, and refused files.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "suite_kit.h"
#include "test_fixtures.h"
#include "testkit.h"

using namespace testkit;

namespace {

// One 8 x 8 block of each Y, Cb, Cr triple side by side: uniform blocks at
// quality 100 without subsampling decode to exactly their samples.
std::vector<unsigned char> blocks(const std::vector<std::array<unsigned char, 3>> &colours)
{
    int w = int(colours.size()) * 8;
    std::vector<unsigned char> ycc;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < w; x++)
            ycc.insert(ycc.end(), colours[x / 8].begin(), colours[x / 8].end());
    return ycc;
}

std::string info_lines(int colour_space)
{
    return "jpeginput: Colour space " + std::to_string(colour_space) +
           " (YCbCr 3).\njpeginput: 601 sampling 0.\n";
}

} // namespace

TEST(Radjfif, ConvertsYCbCrToLinearRgb)
{
    // Expected values worked out by hand from y = Y/256, the matrix and the
    // sRGB curve (Y = 255 gives 255/256, not 1; B of the last is negative).
    const struct {
        std::array<unsigned char, 3> ycc;
        rgba_t want;
    } cases[] = {
        {{128, 128, 128}, {0.21404114048223255, 0.21404114048223255, 0.21404114048223255, 1}},
        {{255, 128, 128}, {0.99113676431634, 0.99113676431634, 0.99113676431634, 1}},
        {{0, 128, 128}, {0, 0, 0, 1}},
        {{10, 128, 128}, {0.0030234133126934987, 0.0030234133126934987, 0.0030234133126934987, 1}},
        {{11, 128, 128}, {0.003332761666070483, 0.003332761666070483, 0.003332761666070483, 1}},
        {{76, 85, 255}, {0.9827997589447474, 2.2887238777093373e-05, 0, 1}},
    };
    std::vector<std::array<unsigned char, 3>> colours;
    for (const auto &c : cases)
        colours.push_back(c.ycc);
    temp_dir dir;
    int w = int(colours.size()) * 8;
    ASSERT_TRUE(fixtures::write_jpeg_ycbcr(dir / "in.jpg", w, 8, blocks(colours)));
    run_result r = run("radjfif", {dir / "in.jpg", dir / "out.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "radjfif: " + (dir / "in.jpg") + " [" + std::to_string(w) + "x8]\n");
    EXPECT_EQ(r.err, info_lines(3) + progress("radjfif", "Output scanline", 8, 1) + "\nradjfif: Done.\n");

    image out = read_exr(dir / "out.exr");
    ASSERT_EQ(out.w, w);
    for (size_t i = 0; i < colours.size(); i++) {
        const rgba_t &got = out.at(int(i) * 8 + 3, 5), &want = cases[i].want;
        EXPECT_NEAR(got.r, half_round(want.r), 1e-9) << i;
        EXPECT_NEAR(got.g, half_round(want.g), 1e-9) << i;
        EXPECT_NEAR(got.b, half_round(want.b), 1e-9) << i;
        EXPECT_EQ(got.a, 1.0) << i;
    }
}

// radjfif remembers the pixels of recent triples in slots shared by many
// triples. Thousands of distinct triples, each in its own block, make
// triples meet in a slot and replace each other; every pixel must still be
// the formula's (written out here as the oracle).
TEST(Radjfif, ManyColoursEachGetTheirOwnPixel)
{
    auto linear = [](double c) {
        if (c < 0)
            return 0.0;
        if (c > 1)
            return 1.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const int across = 64, down = 40;
    std::vector<std::array<unsigned char, 3>> colours(across * down);
    unsigned seed = 1;
    for (auto &c : colours)
        for (auto &v : c)
            v = (unsigned char)((seed = seed * 1103515245 + 12345) >> 16);
    std::vector<unsigned char> ycc;
    for (int y = 0; y < down * 8; y++)
        for (int x = 0; x < across * 8; x++) {
            const auto &c = colours[(y / 8) * across + x / 8];
            ycc.insert(ycc.end(), c.begin(), c.end());
        }
    temp_dir dir;
    ASSERT_TRUE(fixtures::write_jpeg_ycbcr(dir / "in.jpg", across * 8, down * 8, ycc));
    ASSERT_EQ(run("radjfif", {dir / "in.jpg", dir / "out.exr"}).status, 0);

    image out = read_exr(dir / "out.exr");
    int wrong = 0;
    for (int y = 0; y < out.h; y++)
        for (int x = 0; x < out.w; x++) {
            const auto &c = colours[(y / 8) * across + x / 8];
            double l = c[0] * 0.00390625, cb = (c[1] - 128) * 0.00390625,
                   cr = (c[2] - 128) * 0.00390625;
            const rgba_t &got = out.at(x, y);
            wrong += got.r != half_round(linear((l - 0.0009 * cb) + 1.4017 * cr)) ||
                     got.g != half_round(linear((l - 0.3437 * cb) - 0.7142 * cr)) ||
                     got.b != half_round(linear((1.7722 * cb + l) + 0.001 * cr)) || got.a != 1;
        }
    EXPECT_EQ(wrong, 0);
}

// A greyscale JPEG converts as a colour one of neutral chroma would: Y 128
// gives the 0.214 of (128, 128, 128) in all three channels.
TEST(Radjfif, GreyscaleIsYWithNeutralChroma)
{
    temp_dir dir;
    ASSERT_TRUE(fixtures::write_jpeg_grey(dir / "grey.jpg", 16, 8, 128));
    run_result r = run("radjfif", {dir / "grey.jpg", dir / "out.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, info_lines(1) + progress("radjfif", "Output scanline", 8, 1) + "\nradjfif: Done.\n");
    image out = read_exr(dir / "out.exr");
    ASSERT_EQ(out.w, 16);
    const double want = half_round(0.21404114048223255);
    for (const rgba_t &p : out.px) {
        EXPECT_EQ(p.r, want);
        EXPECT_EQ(p.g, want);
        EXPECT_EQ(p.b, want);
        EXPECT_EQ(p.a, 1.0);
    }
}

TEST(Radjfif, RefusedFilesLeaveNoOutput)
{
    temp_dir dir;
    ASSERT_TRUE(fixtures::write_jpeg_cmyk(dir / "cmyk.jpg", 16, 16, false));
    ASSERT_TRUE(fixtures::write_jpeg_cmyk(dir / "ycck.jpg", 16, 16, true));
    // Noise, so that the image data is most of the file.
    std::vector<unsigned char> noise(64 * 64 * 3);
    unsigned seed = 7;
    for (auto &v : noise)
        v = (unsigned char)((seed = seed * 1103515245 + 12345) >> 16);
    ASSERT_TRUE(fixtures::write_jpeg_ycbcr(dir / "whole.jpg", 64, 64, noise));
    std::string whole = slurp(dir / "whole.jpg");
    write_file(dir / "text.jpg", "not a JPEG\n");
    // The same data under a frame header announcing more pixels than an int
    // can count, or far more than the file's data could code. (Damaged data
    // under a plausible header is converted: see suite_corrupt_test.cpp.)
    size_t sof = whole.find("\xff\xc0");
    ASSERT_NE(sof, std::string::npos);
    std::string vast = whole, huge = whole;
    vast.replace(sof + 5, 4, "\x4e\x20\x4e\x20");
    huge.replace(sof + 5, 4, "\xff\xdc\xff\xdc");
    write_file(dir / "vast.jpg", vast);
    write_file(dir / "huge.jpg", huge);
    const std::string missing = dir / "missing.jpg";

    const struct {
        std::string in;
        std::string err_start, err_has;
    } cases[] = {
        {dir / "cmyk.jpg", info_lines(4) + "radjfif: " + (dir / "cmyk.jpg") +
                               " is a CMYK JPEG; only YCbCr and greyscale JPEGs are converted.\n", ""},
        {dir / "ycck.jpg", info_lines(5) + "radjfif: " + (dir / "ycck.jpg") +
                               " is a YCCK JPEG; only YCbCr and greyscale JPEGs are converted.\n", ""},
        {dir / "vast.jpg", info_lines(3) + "jpeginput: " + (dir / "vast.jpg") +
                               ": 20000x20000 image is larger than its file can hold.\n", ""},
        {dir / "huge.jpg", info_lines(3) + "jpeginput: " + (dir / "huge.jpg") +
                               ": 65500x65500 image is too large.\n", ""},
        {dir / "text.jpg", "Not a JPEG file", ""},
        {missing, "jpeginput: Cannot open " + missing + ": No such file or directory\n", ""},
    };
    for (const auto &c : cases) {
        run_result r = run("radjfif", {c.in, dir / "out.exr"});
        EXPECT_EQ(r.status, 1) << c.in;
        EXPECT_EQ(r.out, "") << c.in;
        EXPECT_EQ(r.err.rfind(c.err_start, 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.err_has), std::string::npos) << r.err;
        std::string last = "radjfif: Cannot open " + c.in + "\n";
        ASSERT_GE(r.err.size(), last.size());
        EXPECT_EQ(r.err.substr(r.err.size() - last.size()), last);
        EXPECT_FALSE(exists(dir / "out.exr")) << c.in;
    }
}

// EXIF blocks written by hand after the start of image: the orientation is
// read in either byte order from the first IFD, and a block that ends
// before its entries, points past itself or holds an orientation outside
// 1 ... 8 gives no note and no harm.
TEST(Radjfif, ExifOrientationIsReadWithinItsMarker)
{
    temp_dir dir;
    ASSERT_TRUE(fixtures::write_jpeg_ycbcr(dir / "plain.jpg", 8, 8, std::vector<unsigned char>(8 * 8 * 3, 128)));
    const std::string plain = slurp(dir / "plain.jpg");
    // An APP1 marker holding "Exif\0\0" and tiff.
    auto with_exif = [&](const std::string &tiff) {
        std::string body = std::string("Exif\0\0", 6) + tiff;
        size_t len = body.size() + 2;
        return plain.substr(0, 2) + "\xff\xe1" + char(len >> 8) + char(len & 0xff) + body +
               plain.substr(2);
    };
    // IFD0 at offset 8 with one entry: tag, type, count, value.
    const std::string mm = std::string("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 18);
    const std::string ii = std::string("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 18);
    const struct {
        const char *what;
        std::string tiff;
        int note;
    } cases[] = {
        {"big-endian 5", mm + std::string("\0\x05\0\0", 4), 5},
        {"little-endian 7", ii + std::string("\x07\0\0\0", 4), 7},
        {"orientation 9", mm + std::string("\0\x09\0\0", 4), 0},
        {"entry cut short", mm + std::string("\0", 1), 0},
        {"IFD past the end", std::string("MM\0*\x7f\xff\xff\xf0", 8), 0},
        {"entry count past the end", std::string("II*\0\x08\0\0\0\xff\xff", 10), 0},
        {"no TIFF header", "XX", 0},
    };
    for (const auto &c : cases) {
        write_file(dir / "in.jpg", with_exif(c.tiff));
        run_result r = run("radjfif", {dir / "in.jpg", dir / "out.exr"});
        ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
        std::string note = c.note ? "radjfif: " + (dir / "in.jpg") + ": EXIF orientation " +
                                        std::to_string(c.note) +
                                        " is not applied; the image is converted as stored.\n"
                                  : "";
        EXPECT_EQ(r.err, info_lines(3) + note + progress("radjfif", "Output scanline", 8, 1) +
                             "\nradjfif: Done.\n")
            << c.what;
    }
}
