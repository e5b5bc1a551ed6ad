// The blur module against its straightforward form: gaussian_sample for
// every tap and channel, whole-row strides, the weights computed here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "gaussian.h"

namespace {

// Both passes as the blur is defined, one sample call per tap and channel.
std::vector<rgba_t> reference_blur(const std::vector<rgba_t> &src, int w, int h, double size)
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
                        acc += weight[std::abs(d)] * (pass == 0 ? gaussian_sample(in, x + d, y, w, h, c)
                                                                : gaussian_sample(in, x, y + d, w, h, c));
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

void set_means(const std::vector<rgba_t> &px)
{
    double m[4] = {0, 0, 0, 0};
    for (const rgba_t &p : px) {
        m[0] += p.r, m[1] += p.g, m[2] += p.b, m[3] += p.a;
    }
    for (int c = 0; c < 4; c++)
        gaussian_mean[c] = m[c] / double(px.size());
}

} // namespace

TEST(Gaussian, SampleIsTheMeanOutsideTheImage)
{
    std::vector<rgba_t> px = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    double mean[4] = {0.5, 0.25, 0.125, 1};
    memcpy(gaussian_mean, mean, sizeof mean);
    EXPECT_EQ(gaussian_sample(px.data(), 1, 0, 2, 1, 0), 5);
    EXPECT_EQ(gaussian_sample(px.data(), 0, 0, 2, 1, 3), 4);
    EXPECT_EQ(gaussian_sample(px.data(), 1, 0, 2, 1, 2), 7);
    const int outside[][2] = {{-1, 0}, {2, 0}, {0, -1}, {0, 1}, {-100000, 5}};
    for (const auto &o : outside)
        for (int c = 0; c < 4; c++)
            EXPECT_EQ(gaussian_sample(px.data(), o[0], o[1], 2, 1, c), mean[c]);
}

// The cache-aware passes must add the very same terms in the very same
// order: compare every bit, on widths that do and do not fill whole blocks,
// with kernels narrower and wider than the image.
TEST(Gaussian, BitIdenticalToTheStraightforwardForm)
{
    const struct {
        int w, h;
        double size;
    } cases[] = {
        {1, 1, 1.5},    // one pixel: every tap but the centre is outside
        {7, 5, 1.5},    // s = 1, 7 taps
        {13, 11, 3.7},  // s = 3
        {37, 29, 2.0},  // exact integer size
        {64, 3, 50.0},  // kernel far taller than the image
        {5, 40, 20.9},  // kernel far wider than the image
        {9, 12, 0.5},   // narrower than a pixel: the identity
        {4, 4, 1.0},    // smallest real blur
        {23, 19, 2.5},  // blocks of eight, of four and single pixels a row
    };
    // Both row kernels, where the processor has the four-lane one.
    for (gaussian_kernel k : {GAUSSIAN_NARROW, GAUSSIAN_WIDE}) {
        if (!gaussian_select(k))
            continue;
        for (const auto &c : cases) {
            std::vector<rgba_t> src = noise(c.w, c.h);
            set_means(src);
            std::vector<rgba_t> want = reference_blur(src, c.w, c.h, c.size);
            std::vector<rgba_t> got(src.size(), rgba_t{-1, -1, -1, -1});
            ASSERT_EQ(gaussian_blur(got.data(), src.data(), c.w, c.h, c.size), 0);
            EXPECT_EQ(memcmp(got.data(), want.data(), got.size() * sizeof(rgba_t)), 0)
                << (k == GAUSSIAN_WIDE ? "four" : "two") << " lanes, " << c.w << "x" << c.h
                << " size " << c.size;
        }
    }
    gaussian_select(GAUSSIAN_AUTO);
}

TEST(Gaussian, SizesBelowOnePixelCopyTheImage)
{
    std::vector<rgba_t> src = noise(6, 4);
    set_means(src);
    for (double size : {0.999, 0.0, -3.0, double(NAN), -double(INFINITY)}) {
        std::vector<rgba_t> got(src.size());
        ASSERT_EQ(gaussian_blur(got.data(), src.data(), 6, 4, size), 0);
        EXPECT_EQ(memcmp(got.data(), src.data(), got.size() * sizeof(rgba_t)), 0) << size;
    }
}

TEST(Gaussian, TablesThatCannotBeHadFailTheBlur)
{
    std::vector<rgba_t> src = noise(3, 2), got(6, rgba_t{7, 7, 7, 7});
    set_means(src);
    // An infinite size, and one whose half-width is past any index range.
    for (double size : {double(INFINITY), 1e300}) {
        EXPECT_EQ(gaussian_blur(got.data(), src.data(), 3, 2, size), 1) << size;
        EXPECT_EQ(got[5].g, 7); // untouched
    }
}

TEST(Gaussian, ImageSizesThatOverflowAreRefused)
{
    EXPECT_EQ(gaussian_image_new(INT32_MAX, INT32_MAX), nullptr);
    EXPECT_EQ(gaussian_image_new(-1, 5), nullptr);
    EXPECT_NE(gaussian_image_new(3, 2), nullptr);
}
