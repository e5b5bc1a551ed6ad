// The blur module against its straightforward form: gaussian_sample for
// every tap and channel, whole-row strides, the weights computed here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "gaussian.h"

namespace {

// Both passes as the blur is defined, one sample call per tap and channel.
std::vector<rgba_t> reference_blur(const std::vector<rgba_t> &src, int w, int h, double size,
                                   const rgba_t &mean)
{
    std::vector<double> weight = {1.0}; // a blur narrower than a pixel is the identity
    if (size >= 1) {
        int n = 2 * int(size + 1.0);
        double s = n * 0.5 - 1.0;
        weight.resize(n);
        for (int k = 0; k < n; k++) {
            double q = k / s;
            weight[k] = std::exp(q * (-q));
        }
    }
    int n = int(weight.size());
    double sum = 0;
    for (int d = -(n - 1); d <= n - 1; d++)
        sum += weight[std::abs(d)];

    std::vector<rgba_t> mid(src.size()), dst(src.size());
    for (int pass = 0; pass < 2; pass++) {
        const rgba_t *in = pass == 0 ? src.data() : mid.data();
        double *out = reinterpret_cast<double *>(pass == 0 ? mid.data() : dst.data());
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                for (int c = 0; c < 4; c++) {
                    double acc = 0;
                    for (int d = -(n - 1); d <= n - 1; d++)
                        acc += weight[std::abs(d)] * (pass == 0 ? gaussian_sample(in, x + d, y, w, h, c, mean)
                                                                : gaussian_sample(in, x, y + d, w, h, c, mean));
                    out[(size_t(y) * w + x) * 4 + c] = acc / sum;
                }
    }
    return dst;
}

// Values over several decades, some negative, from a fixed generator.
std::vector<rgba_t> noise(int w, int h)
{
    std::vector<rgba_t> px(size_t(w) * h);
    unsigned state = 12345;
    auto next = [&] {
        state = state * 1103515245u + 12345u;
        return double((state >> 8) & 0xffff) / 65536.0;
    };
    for (rgba_t &p : px)
        p = {std::pow(10.0, 4 * next() - 2), next() * 3 - 0.5, next(), next()};
    return px;
}

rgba_t means(const std::vector<rgba_t> &px)
{
    rgba_t m = {0, 0, 0, 0};
    for (const rgba_t &p : px)
        m.r += p.r, m.g += p.g, m.b += p.b, m.a += p.a;
    double n = double(px.size());
    return {m.r / n, m.g / n, m.b / n, m.a / n};
}

} // namespace

TEST(Gaussian, SampleIsTheMeanOutsideTheImage)
{
    std::vector<rgba_t> px = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    const rgba_t mean = {0.5, 0.25, 0.125, 1};
    EXPECT_EQ(gaussian_sample(px.data(), 1, 0, 2, 1, 0, mean), 5);
    EXPECT_EQ(gaussian_sample(px.data(), 0, 0, 2, 1, 3, mean), 4);
    EXPECT_EQ(gaussian_sample(px.data(), 1, 0, 2, 1, 2, mean), 7);
    const double want[4] = {mean.r, mean.g, mean.b, mean.a};
    const int outside[][2] = {{-1, 0}, {2, 0}, {0, -1}, {0, 1}, {-100000, 5}};
    for (const auto &o : outside)
        for (int c = 0; c < 4; c++)
            EXPECT_EQ(gaussian_sample(px.data(), o[0], o[1], 2, 1, c, mean), want[c]);
}

// The cache-aware passes must add the very same terms in the very same
// order: compare every bit, with every kernel the processor has, in place
// (as radsoften blurs) and from a separate source, on widths that do and do
// not fill whole blocks, with kernels narrower and wider than the image.
TEST(Gaussian, BitIdenticalToTheStraightforwardForm)
{
    const struct {
        int w, h;
        double size;
    } cases[] = {
        {1, 1, 1.5},    // one pixel: every tap but the centre is outside
        {7, 5, 1.5},    // s = 1, 7 taps
        {13, 11, 3.7},  // s = 3, 15 taps
        {37, 29, 2.0},  // exact integer size
        {64, 3, 50.0},  // kernel far taller than the image
        {5, 40, 20.9},  // kernel far wider than the image
        {9, 12, 0.5},   // narrower than a pixel: the identity
        {4, 4, 1.0},    // smallest real blur
        {23, 19, 2.5},  // blocks of eight, of four and single pixels a row
        {27, 35, 4.2},  // blocks of 12, 8, 4, 2 and 1; 19 taps: periods and more
    };
    for (int lanes : {2, 4, 8}) {
        if (lanes > gaussian_lanes())
            continue;
        for (const auto &c : cases) {
            SCOPED_TRACE(testing::Message() << lanes << " lanes, " << c.w << "x" << c.h
                                            << " size " << c.size);
            std::vector<rgba_t> src = noise(c.w, c.h);
            const rgba_t mean = means(src);
            std::vector<rgba_t> want = reference_blur(src, c.w, c.h, c.size, mean);
            std::vector<rgba_t> got(src.size(), rgba_t{-1, -1, -1, -1});
            ASSERT_EQ(gaussian_blur(got.data(), src.data(), c.w, c.h, c.size, mean, nullptr,
                                    nullptr, lanes),
                      0);
            EXPECT_EQ(memcmp(got.data(), want.data(), got.size() * sizeof(rgba_t)), 0);
            got = src;
            ASSERT_EQ(gaussian_blur(got.data(), got.data(), c.w, c.h, c.size, mean, nullptr,
                                    nullptr, lanes),
                      0);
            EXPECT_EQ(memcmp(got.data(), want.data(), got.size() * sizeof(rgba_t)), 0)
                << "in place";
        }
    }
}

// The means are the caller's, whatever they are: here far from the image's.
TEST(Gaussian, OutsideSamplesAreTheMeansGiven)
{
    std::vector<rgba_t> src = noise(19, 6);
    const rgba_t mean = {100, -3, 0, 0.5};
    std::vector<rgba_t> want = reference_blur(src, 19, 6, 2.5, mean);
    std::vector<rgba_t> got(src.size());
    ASSERT_EQ(gaussian_blur(got.data(), src.data(), 19, 6, 2.5, mean), 0);
    EXPECT_EQ(memcmp(got.data(), want.data(), got.size() * sizeof(rgba_t)), 0);
}

// Every row of each pass is reported once, in order, pass 1 first; a blur
// that fails reports nothing.
TEST(Gaussian, ProgressCountsTheRowsOfEachPass)
{
    std::vector<std::pair<int, int>> calls;
    auto record = [](void *ctx, int pass, int y) {
        static_cast<std::vector<std::pair<int, int>> *>(ctx)->push_back({pass, y});
    };
    const struct {
        int w, h;
    } sizes[] = {{1, 1}, {3, 25}, {20, 7}, {17, 40}};
    for (const auto &c : sizes) {
        std::vector<rgba_t> img = noise(c.w, c.h);
        calls.clear();
        ASSERT_EQ(gaussian_blur(img.data(), img.data(), c.w, c.h, 2.0, means(img), record, &calls),
                  0);
        std::vector<std::pair<int, int>> want;
        for (int pass : {1, 2})
            for (int y = 0; y < c.h; y++)
                want.push_back({pass, y});
        EXPECT_EQ(calls, want) << c.w << "x" << c.h;
    }
    std::vector<rgba_t> img = noise(3, 2);
    calls.clear();
    EXPECT_EQ(gaussian_blur(img.data(), img.data(), 3, 2, 1e300, means(img), record, &calls), 1);
    EXPECT_TRUE(calls.empty());
}

TEST(Gaussian, SizesBelowOnePixelCopyTheImage)
{
    std::vector<rgba_t> src = noise(6, 4);
    for (double size : {0.999, 0.0, -3.0, double(NAN), -double(INFINITY)}) {
        std::vector<rgba_t> got(src.size());
        ASSERT_EQ(gaussian_blur(got.data(), src.data(), 6, 4, size, means(src)), 0);
        EXPECT_EQ(memcmp(got.data(), src.data(), got.size() * sizeof(rgba_t)), 0) << size;
    }
}

TEST(Gaussian, TablesThatCannotBeHadFailTheBlur)
{
    std::vector<rgba_t> src = noise(3, 2), got(6, rgba_t{7, 7, 7, 7});
    // An infinite size, and one whose half-width is past any index range.
    for (double size : {double(INFINITY), 1e300}) {
        EXPECT_EQ(gaussian_blur(got.data(), src.data(), 3, 2, size, means(src)), 1) << size;
        EXPECT_EQ(got[5].g, 7); // untouched
    }
    // No kernel of that many lanes.
    EXPECT_EQ(gaussian_blur(got.data(), src.data(), 3, 2, 2.0, means(src), nullptr, nullptr, 3), 1);
    EXPECT_EQ(got[5].g, 7);
}

TEST(Gaussian, ImageSizesThatOverflowAreRefused)
{
    EXPECT_EQ(gaussian_image_new(INT32_MAX, INT32_MAX), nullptr);
    EXPECT_EQ(gaussian_image_new(-1, 5), nullptr);
    EXPECT_NE(gaussian_image_new(3, 2), nullptr);
}
