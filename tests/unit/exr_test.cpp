// The EXR reader and writer against images written and read with the
// library's own C++ interface.
#include <gtest/gtest.h>

#include <Imath/half.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "exrinput.h"
#include "exroutput.h"
#include "testkit.h"

using namespace testkit;

namespace {

// Writes img through exroutput; returns exroutput_commit's status.
int write_with_suite(const std::string &path, const image &img)
{
    exroutput_t *out = exroutput_new(path.c_str(), img.w, img.h);
    if (!out)
        return -1;
    for (int y = 0; y < img.h; y++)
        exroutput_write_scanline(out, &img.px[size_t(y) * img.w]);
    int status = exroutput_commit(out);
    exroutput_delete(out);
    return status;
}

size_t files_in(const std::string &dir)
{
    size_t n = 0;
    for (auto &e : std::filesystem::directory_iterator(dir))
        (void)e, n++;
    return n;
}

} // namespace

TEST(Exr, RoundTripRoundsToHalf)
{
    temp_dir dir;
    image img = pixels(3, 2, {{0.1, 0.2, 0.3, 1}, {1, 2, 3, 0.5}, {1000, 0.001, 1e-5, 0},
                              {0.333, 0.666, 0.999, 0.25}, {65504, 7, 8, 1}, {0, 0, 0, 0}});
    ASSERT_EQ(write_with_suite(dir / "a.exr", img), 0);

    exrinput_t *in = exrinput_new((dir / "a.exr").c_str());
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(exrinput_get_width(in), 3);
    EXPECT_EQ(exrinput_get_height(in), 2);
    for (int y = 0; y < 2; y++) {
        const rgba_t *row = exrinput_get_scanline(in, y);
        for (int x = 0; x < 3; x++) {
            const rgba_t &p = img.at(x, y);
            EXPECT_EQ(row[x].r, half_round(p.r));
            EXPECT_EQ(row[x].g, half_round(p.g));
            EXPECT_EQ(row[x].b, half_round(p.b));
            EXPECT_EQ(row[x].a, half_round(p.a));
        }
    }
    EXPECT_FALSE(exrinput_get_damage(in)->damaged());
    exrinput_delete(in);
}

TEST(Exr, WrittenHeader)
{
    temp_dir dir;
    ASSERT_EQ(write_with_suite(dir / "a.exr", uniform(5, 4, {0.5, 0.5, 0.5, 1})), 0);
    image got = read_exr(dir / "a.exr");
    EXPECT_EQ(got.compression, 4); // PIZ
    EXPECT_EQ(got.line_order, 0);  // increasing y
    EXPECT_EQ(got.x_min, 0);
    EXPECT_EQ(got.y_min, 0);
    EXPECT_EQ(got.display_x_min, 0);
    EXPECT_EQ(got.display_y_min, 0);
    EXPECT_EQ(got.display_x_max, 4);
    EXPECT_EQ(got.display_y_max, 3);
    EXPECT_EQ(got.channels, "ABGR");
    EXPECT_TRUE(got.half_channels);
}

TEST(Exr, DataWindowAwayFromTheOrigin)
{
    temp_dir dir;
    std::vector<rgba_t> px;
    for (int y = 0; y < 50; y++)
        for (int x = 0; x < 100; x++)
            px.push_back({double(x + 1), double(y + 1), 0, 1});
    write_exr(dir / "w.exr", pixels(100, 50, px), {10, 20});

    exrinput_t *in = exrinput_new((dir / "w.exr").c_str());
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(exrinput_get_width(in), 100);
    EXPECT_EQ(exrinput_get_height(in), 50);
    const rgba_t *row = exrinput_get_scanline(in, 0);
    EXPECT_EQ(row[0].r, 1); // the file's pixel (10, 20)
    EXPECT_EQ(row[0].g, 1);
    EXPECT_EQ(row[99].r, 100);
    // Any order, any number of times.
    for (int y : {5, 3, 5, 49}) {
        row = exrinput_get_scanline(in, y);
        EXPECT_EQ(row[7].r, 8);
        EXPECT_EQ(row[7].g, y + 1);
    }
    exrinput_delete(in);
}

// Negative and NaN values are stored as 0; values above the largest finite
// half, whether finite in double, single or neither, as that half.
TEST(Exr, WriterStoresNegativeAndNanAsZeroAndLimitsToTheLargestHalf)
{
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double in, want;
    } cases[] = {
        {65504.0, 65504}, {65520.0, 65504}, // 65520 would round to half infinity
        {1e6, 65504},                       // finite single, beyond the half range
        {1e39, 65504},                      // infinite in single precision
        {inf, 65504},     {-inf, 0},        {std::nan(""), 0}, {-1.0, 0},
        {-0.0, 0},        {0.5, 0.5},       {65503.0, 65504}, // the nearest half
    };
    temp_dir dir;
    std::vector<rgba_t> px;
    for (const auto &c : cases)
        px.push_back({c.in, c.in, c.in, c.in});
    ASSERT_EQ(write_with_suite(dir / "a.exr", pixels(int(px.size()), 1, px)), 0);
    image got = read_exr(dir / "a.exr");
    for (size_t i = 0; i < px.size(); i++) {
        const rgba_t &g = got.px[i];
        for (double v : {g.r, g.g, g.b, g.a})
            EXPECT_EQ(v, cases[i].want) << "input " << cases[i].in;
    }
}

// Both conversions to half, the processor's and the portable one, against
// the library's conversion of the rounded single (testkit's written): every
// half value, the midpoints between neighbours (which round to the even
// one) and the doubles just either side of them, subnormals, values beyond
// the half range and beyond single precision, negatives, -0 and NaN.
TEST(Exr, BothConversionsToHalfGiveTheLibrarysBits)
{
    std::vector<double> values = {-0.0, std::nan(""), -std::nan(""), 1e39, -1e39, 1e-50, 65519.99,
                                  65520.0, std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::denorm_min()};
    for (uint32_t bits = 0; bits < 0x7c00; bits++) {
        double v = imath_half_to_float(uint16_t(bits));
        double next = imath_half_to_float(uint16_t(bits + 1));
        double mid = (v + next) / 2;
        for (double x : {v, mid, std::nextafter(mid, 0.0), std::nextafter(mid, 1e9), -v, -mid})
            values.push_back(x);
    }
    size_t w = 1024, h = (values.size() / 4 + w - 1) / w;
    values.resize(w * h * 4, 0.5);
    std::vector<rgba_t> px(w * h);
    std::memcpy(px.data(), values.data(), values.size() * sizeof(double));
    for (exroutput_conversion kind : {EXROUTPUT_FASTEST, EXROUTPUT_PORTABLE}) {
        temp_dir dir;
        exroutput_select(kind);
        ASSERT_EQ(write_with_suite(dir / "a.exr", pixels(int(w), int(h), px)), 0);
        exroutput_select(EXROUTPUT_FASTEST);
        image got = read_exr(dir / "a.exr");
        ASSERT_EQ(got.px.size(), px.size());
        int wrong = 0;
        for (size_t i = 0; i < values.size() && wrong < 5; i++) {
            double want = written(values[i]), v = (&got.px[i / 4].r)[i % 4];
            if (v != want || std::signbit(v) != std::signbit(want)) {
                ADD_FAILURE() << (kind == EXROUTPUT_FASTEST ? "fastest" : "portable") << ": "
                              << values[i] << " stored as " << v << ", not " << want;
                wrong++;
            }
        }
    }
}

TEST(Exr, RgbOnlyFileReadsWithAlphaOne)
{
    temp_dir dir;
    write_exr(dir / "rgb.exr", uniform(2, 2, {0.25, 0.5, 0.75, 0}), {0, 0, true});
    exrinput_t *in = exrinput_new((dir / "rgb.exr").c_str());
    ASSERT_NE(in, nullptr);
    const rgba_t *row = exrinput_get_scanline(in, 1);
    EXPECT_EQ(row[1].r, 0.25);
    EXPECT_EQ(row[1].b, 0.75);
    EXPECT_EQ(row[1].a, 1.0);
    exrinput_delete(in);
}

TEST(Exr, OpenFailuresCarryTheLibraryText)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(exrinput_new("/nonexistent/in.exr"), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("exrinput: ", 0), 0u) << err;
    EXPECT_GT(err.size(), strlen("exrinput: \n"));

    testing::internal::CaptureStderr();
    EXPECT_EQ(exroutput_new("/nonexistent/dir/out.exr", 2, 2), nullptr);
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("exroutput: ", 0), 0u) << err;
    EXPECT_NE(err.find("/nonexistent/dir/out.exr"), std::string::npos) << err;
}

TEST(Exr, IncompleteOutputLeavesTheTargetAlone)
{
    temp_dir dir;
    std::string target = dir / "out.exr";
    write_exr(target, uniform(2, 2, {1, 2, 3, 1}));
    std::string before = slurp(target);

    exroutput_t *out = exroutput_new(target.c_str(), 4, 3);
    ASSERT_NE(out, nullptr);
    rgba_t row[4] = {};
    exroutput_write_scanline(out, row);
    EXPECT_EQ(exroutput_commit(out), 1); // two rows short: not committed
    exroutput_delete(out);
    EXPECT_EQ(slurp(target), before);
    EXPECT_EQ(files_in(dir.path()), 1u); // no temporary file left behind
}

TEST(Exr, OutputReplacesItsOwnInputOnlyAtTheEnd)
{
    temp_dir dir;
    std::string path = dir / "same.exr";
    write_exr(path, pixels(2, 2, {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 1, 1}}));
    exrinput_t *in = exrinput_new(path.c_str());
    ASSERT_NE(in, nullptr);
    exroutput_t *out = exroutput_new(path.c_str(), 2, 2);
    ASSERT_NE(out, nullptr);
    for (int y = 0; y < 2; y++) {
        const rgba_t *src = exrinput_get_scanline(in, y);
        rgba_t row[2] = {{src[0].g, src[0].r, src[0].b, 1}, {src[1].g, src[1].r, src[1].b, 1}};
        exroutput_write_scanline(out, row);
    }
    EXPECT_EQ(exroutput_commit(out), 0);
    exroutput_delete(out);
    exrinput_delete(in);
    image got = read_exr(path);
    EXPECT_EQ(got.at(0, 0).g, 1);
    EXPECT_EQ(got.at(1, 0).r, 1);
    EXPECT_EQ(files_in(dir.path()), 1u);
}

TEST(Exr, DamagedRowsAreCountedOnceAndReadAsZeros)
{
    temp_dir dir;
    std::string path = dir / "cut.exr";
    // Varied content, so that the pixel chunks are most of the file.
    image img = uniform(64, 64, {0.5, 0.5, 0.5, 1});
    for (size_t i = 0; i < img.px.size(); i++)
        img.px[i].r = double((i * 7919) % 1000) / 1000;
    write_exr(path, img);
    std::filesystem::resize_file(path, std::filesystem::file_size(path) * 2 / 3);

    exrinput_t *in = exrinput_new(path.c_str());
    ASSERT_NE(in, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(exrinput_get_scanline(in, 0)[5].g, 0.5); // intact
    // the chunks past the cut are known from the offset table already
    const int known = exrinput_get_damage(in)->rows;
    EXPECT_GT(known, 0);
    // two passes over the image, as the programs with statistics make
    for (int pass = 0; pass < 2; pass++)
        for (int y = 0; y < 64; y++)
            exrinput_get_scanline(in, y);
    const rgba_t *row = exrinput_get_scanline(in, 63); // cut off
    EXPECT_EQ(row[5].g, 0);
    EXPECT_EQ(row[5].a, 0);
    // counted, not printed: the finish step prints one summary
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const input_damage *d = exrinput_get_damage(in);
    EXPECT_EQ(d->rows, known);
    EXPECT_LT(d->rows, 64);
    EXPECT_EQ(d->first + d->rows, 64); // the rows from the cut on
    EXPECT_EQ(d->height, 64);
    EXPECT_EQ(d->path, path);
    EXPECT_FALSE(d->reason.empty());
    exrinput_delete(in);
}
