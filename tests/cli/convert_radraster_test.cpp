// radraster run as a program: PNG samples of every colour type and depth
// decoded with the sRGB curve, its messages, and the files it refuses.
#include <gtest/gtest.h>

#include <cmath>

#include "test_fixtures.h"
#include "testkit.h"

using namespace testkit;
using fixtures::png_image;

namespace {

// sRGB decoding of a few samples, worked out by hand from the transfer
// function: 128/255 -> 0.2158605, 10/255 / 12.92, 11/255 on the power
// segment, and 255/65535 (a 16-bit sample an 8-bit reduction would lose).
const double s128 = 0.21586050011389926;
const double s10 = 10 / 255.0 / 12.92;
const double s11 = 0.003346535763899161;
const double s255_16 = 255 / 65535.0 / 12.92;

// Every channel of got against want once stored as a half.
void expect_pixel(const rgba_t &got, const rgba_t &want, const std::string &what)
{
    const double g[] = {got.r, got.g, got.b, got.a}, w[] = {want.r, want.g, want.b, want.a};
    for (int c = 0; c < 4; c++)
        EXPECT_NEAR(g[c], half_round(w[c]), 1e-9) << what << " channel " << "RGBA"[c];
}

png_image png(int w, int colour_type, int bit_depth, std::vector<unsigned char> rows)
{
    png_image img;
    img.w = w;
    img.h = 1;
    img.colour_type = colour_type;
    img.bit_depth = bit_depth;
    img.rows = std::move(rows);
    return img;
}

} // namespace

TEST(Radraster, DecodesEveryKindOfPng)
{
    png_image palette = png(2, 3, 8, {0, 1});
    palette.palette = {255, 0, 0, 0, 0, 255};
    palette.trns = {255, 0};
    png_image gamma_one = png(1, 2, 8, {128, 128, 128});
    gamma_one.gamma = 1.0;
    const struct {
        const char *what;
        png_image img;
        std::vector<rgba_t> want;
    } cases[] = {
        {"rgb", png(3, 2, 8, {255, 128, 0, 10, 11, 0, 0, 0, 255}),
         {{1, s128, 0, 1}, {s10, s11, 0, 1}, {0, 0, 1, 1}}},
        {"rgba alpha is linear", png(1, 6, 8, {128, 0, 255, 128}), {{s128, 0, 1, 128 / 255.0}}},
        {"grey", png(2, 0, 8, {128, 11}), {{s128, s128, s128, 1}, {s11, s11, s11, 1}}},
        {"grey and alpha", png(1, 4, 8, {128, 64}), {{s128, s128, s128, 64 / 255.0}}},
        {"palette with tRNS", palette, {{1, 0, 0, 1}, {0, 0, 1, 0}}},
        {"1-bit grey", png(4, 0, 1, {0xa0}), {{1, 1, 1, 1}, {0, 0, 0, 1}, {1, 1, 1, 1}, {0, 0, 0, 1}}},
        {"gAMA 1.0 ignored", gamma_one, {{s128, s128, s128, 1}}},
        {"16-bit rgb", png(1, 2, 16, {0xff, 0xff, 0x00, 0xff, 0x00, 0x00}), {{1, s255_16, 0, 1}}},
        {"16-bit grey and alpha", png(1, 4, 16, {0x00, 0xff, 0x40, 0x00}),
         {{s255_16, s255_16, s255_16, 0x4000 / 65535.0}}},
    };
    for (const auto &c : cases) {
        temp_dir dir;
        ASSERT_TRUE(fixtures::write_png(dir / "in.png", c.img)) << c.what;
        run_result r = run("radraster", {dir / "in.png", dir / "out.exr"});
        ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
        image out = read_exr(dir / "out.exr");
        ASSERT_EQ(out.w, c.img.w) << c.what;
        for (int x = 0; x < out.w; x++)
            expect_pixel(out.at(x, 0), c.want[x], std::string(c.what) + " pixel " + std::to_string(x));
    }
}

TEST(Radraster, MessagesAndEveryRowWritten)
{
    temp_dir dir;
    png_image img = png(2, 0, 8, {});
    img.h = 12;
    for (int i = 0; i < 24; i++)
        img.rows.push_back((unsigned char)(i * 10));
    ASSERT_TRUE(fixtures::write_png(dir / "in.png", img));
    run_result r = run("radraster", {dir / "in.png", dir / "out.exr"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "radraster: " + (dir / "in.png") + " [2x12]\n");
    EXPECT_EQ(r.err, progress("radraster", "Writing scanline", 12, 1) + "\nradraster: Done.\n");
    image out = read_exr(dir / "out.exr");
    ASSERT_EQ(out.h, 12);
    EXPECT_NEAR(out.at(1, 11).g, half_round(std::pow((230 / 255.0 + 0.055) / 1.055, 2.4)), 1e-9);
}

TEST(Radraster, RefusedInputsLeaveNoOutput)
{
    temp_dir dir;
    {
        FILE *f = fopen((dir / "text.png").c_str(), "w");
        fputs("this is not a PNG image at all\n", f);
        fclose(f);
    }
    // A real PNG cut off inside its image data.
    png_image big = png(64, 2, 8, {});
    big.h = 64;
    for (int i = 0; i < 64 * 64 * 3; i++)
        big.rows.push_back((unsigned char)(i * 7919 >> 3));
    ASSERT_TRUE(fixtures::write_png(dir / "whole.png", big));
    std::string whole = slurp(dir / "whole.png");
    {
        FILE *f = fopen((dir / "cut.png").c_str(), "wb");
        fwrite(whole.data(), 1, whole.size() / 2, f);
        fclose(f);
    }
    ASSERT_TRUE(fixtures::write_png_header_only(dir / "huge.png", 100000, 100000, 8, 6));
    ASSERT_TRUE(fixtures::write_png_header_only(dir / "bomb.png", 40000, 40000, 8, 0));

    const std::string missing = dir / "missing.png";
    const struct {
        std::string in;
        std::string err_start; // what the reader says first, if settled
    } cases[] = {
        {dir / "text.png", "libpng error: "},
        {dir / "cut.png", "libpng error: "},
        {missing, "pnginput: Cannot open " + missing + ": No such file or directory\n"},
        {dir / "huge.png", "pnginput: " + (dir / "huge.png") + ": 100000x100000 image is too large.\n"},
        {dir / "bomb.png",
         "pnginput: " + (dir / "bomb.png") + ": 40000x40000 image is larger than its file can hold.\n"},
    };
    for (const auto &c : cases) {
        run_result r = run("radraster", {c.in, dir / "out.exr"});
        EXPECT_EQ(r.status, 1) << c.in;
        EXPECT_EQ(r.out, "") << c.in;
        EXPECT_EQ(r.err.rfind(c.err_start, 0), 0u) << r.err;
        std::string last = "radraster: Cannot open " + c.in + "\n";
        ASSERT_GE(r.err.size(), last.size()) << r.err;
        EXPECT_EQ(r.err.substr(r.err.size() - last.size()), last);
        EXPECT_FALSE(exists(dir / "out.exr")) << c.in;
    }

    // An output that cannot be created: the writer's message, then the program's.
    run_result r = run("radraster", {dir / "whole.png", dir / "no/out.exr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("exroutput: ", 0), 0u) << r.err;
    std::string last = "radraster: Cannot open " + (dir / "no/out.exr") + "\n";
    EXPECT_EQ(r.err.substr(r.err.size() - last.size()), last);
}
