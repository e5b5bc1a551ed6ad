// gaussian: the separable Gaussian blur of radsoften, rows then columns.
// Both passes blur rows with unit stride (the columns as rows of the
// transposed image), but add exactly the terms of the straightforward form,
// in its order, so the result is bit-identical to summing gaussian_sample tap by tap.
#include "gaussian.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

double gaussian_mean[4];

std::unique_ptr<rgba_t[]> gaussian_image_new(int w, int h)
{
    if (w < 0 || h < 0)
        return nullptr;
    size_t count = size_t(w) * size_t(h); // below 2^62: cannot wrap
    if (count > size_t(PTRDIFF_MAX) / sizeof(rgba_t))
        return nullptr;
    return std::unique_ptr<rgba_t[]>(new (std::nothrow) rgba_t[count]);
}

double gaussian_sample(const rgba_t *img, ptrdiff_t x, ptrdiff_t y, int w, int h, int c)
{
    if (x < 0 || y < 0 || x >= w || y >= h)
        return gaussian_mean[c];
    const rgba_t &p = img[y * w + x];
    return c == 0 ? p.r : c == 1 ? p.g : c == 2 ? p.b : p.a;
}

namespace {

// Two channels side by side. The compiler puts them in one SIMD register
// where the target has them; each lane is plain IEEE double arithmetic, and
// -ffp-contract=off keeps every multiply and add separately rounded.
typedef double double2 __attribute__((vector_size(16)));

inline double2 load(const double *p)
{
    double2 v;
    memcpy(&v, p, sizeof v);
    return v;
}

inline void store(double *p, double2 v)
{
    memcpy(p, &v, sizeof v);
}

// Outputs per block: four pixels are eight independent sums, enough to keep
// the adder busy while staying in registers.
constexpr int block = 4;

// B neighbouring output pixels out[0 .. B-1]. Output i adds, for the taps
// j = 0 ... count-1 in increasing order, taps[j] times its sample, and is
// divided by sum. Taps below lo and from hi on fall outside the image and
// sample the channel means; tap j in between samples in[(j - lo) * step + i].
template <int B>
void blur_block(rgba_t *out, const rgba_t *in, ptrdiff_t step, const double *taps,
                ptrdiff_t lo, ptrdiff_t hi, ptrdiff_t count, double sum)
{
    const double2 mean_rg = {gaussian_mean[0], gaussian_mean[1]};
    const double2 mean_ba = {gaussian_mean[2], gaussian_mean[3]};
    double2 rg[B], ba[B];
#pragma GCC unroll 8
    for (int i = 0; i < B; i++)
        rg[i] = ba[i] = double2{0.0, 0.0};
    ptrdiff_t j = 0;
    for (; j < lo; j++) {
        const double2 t = {taps[j], taps[j]};
#pragma GCC unroll 8
        for (int i = 0; i < B; i++) {
            rg[i] += t * mean_rg;
            ba[i] += t * mean_ba;
        }
    }
    for (ptrdiff_t o = 0; j < hi; j++, o += step) {
        const double2 t = {taps[j], taps[j]};
        const rgba_t *p = in + o;
#pragma GCC unroll 8
        for (int i = 0; i < B; i++) {
            rg[i] += t * load(&p[i].r);
            ba[i] += t * load(&p[i].b);
        }
    }
    for (; j < count; j++) {
        const double2 t = {taps[j], taps[j]};
#pragma GCC unroll 8
        for (int i = 0; i < B; i++) {
            rg[i] += t * mean_rg;
            ba[i] += t * mean_ba;
        }
    }
    const double2 s = {sum, sum};
#pragma GCC unroll 8
    for (int i = 0; i < B; i++) {
        store(&out[i].r, rg[i] / s);
        store(&out[i].b, ba[i] / s);
    }
}

// Blurs the h rows of w pixels of in along each row into out. Each row is
// copied between margins of pad mean pixels (row holds w + 2 pad), so every
// output reads count consecutive pixels with no bounds checks. progress(y)
// is called before row y.
template <class Progress>
void blur_rows(rgba_t *out, const rgba_t *in, ptrdiff_t w, ptrdiff_t h, rgba_t *row,
               const double *taps, ptrdiff_t count, double sum, Progress &&progress)
{
    const ptrdiff_t pad = count / 2;
    const rgba_t mean = {gaussian_mean[0], gaussian_mean[1], gaussian_mean[2], gaussian_mean[3]};
    std::fill(row, row + pad, mean);
    std::fill(row + pad + w, row + w + 2 * pad, mean);
    for (ptrdiff_t y = 0; y < h; y++) {
        progress(y);
        memcpy(row + pad, in + y * w, size_t(w) * sizeof(rgba_t));
        rgba_t *o = out + y * w;
        ptrdiff_t x = 0;
        for (; x + block <= w; x += block)
            blur_block<block>(o + x, row + x, 1, taps, 0, count, count, sum);
        for (; x < w; x++)
            blur_block<1>(o + x, row + x, 1, taps, 0, count, count, sum);
    }
}

// dst (w rows of h pixels) becomes the transpose of src (h rows of w),
// in tiles that stay in cache.
void transpose(rgba_t *dst, const rgba_t *src, ptrdiff_t w, ptrdiff_t h)
{
    constexpr ptrdiff_t tile = 16;
    for (ptrdiff_t y0 = 0; y0 < h; y0 += tile)
        for (ptrdiff_t x0 = 0; x0 < w; x0 += tile) {
            const ptrdiff_t y1 = std::min(h, y0 + tile), x1 = std::min(w, x0 + tile);
            for (ptrdiff_t y = y0; y < y1; y++)
                for (ptrdiff_t x = x0; x < x1; x++)
                    dst[x * h + y] = src[y * w + x];
        }
}

// Half-widths beyond this cannot be indexed (the padded row would not fit
// in ptrdiff_t); such a blur is refused like one whose tables cannot be had.
constexpr double max_radius = double(PTRDIFF_MAX / (8 * sizeof(rgba_t)));

} // namespace

int gaussian_blur(rgba_t *dst, const rgba_t *src, int w, int h, double size)
{
    // n weights in the half table. A blur narrower than a pixel would have
    // s = 0 (weights 0/0) or no taps at all; it is the identity instead.
    ptrdiff_t n = 1;
    double s = 1.0;
    if (size >= 1.0) {
        double r = std::trunc(size + 1.0);
        if (r > max_radius)
            return 1;
        n = 2 * ptrdiff_t(r);
        s = double(n) * 0.5 - 1.0;
    }
    const ptrdiff_t count = 2 * n - 1; // taps d = -(n-1) ... n-1
    const ptrdiff_t pad = n - 1;       // taps on each side of the centre
    const ptrdiff_t padded_w = std::max(w, h) + 2 * pad;

    std::unique_ptr<double[]> weight(new (std::nothrow) double[n]);
    std::unique_ptr<double[]> taps(weight ? new (std::nothrow) double[count] : nullptr);
    std::unique_ptr<rgba_t[]> row(taps ? new (std::nothrow) rgba_t[padded_w] : nullptr);
    std::unique_ptr<rgba_t[]> mid = row ? gaussian_image_new(w, h) : nullptr;
    if (!mid)
        return 1;

    if (n == 1) {
        weight[0] = 1.0;
    } else {
        for (ptrdiff_t k = 0; k < n; k++) {
            double q = double(k) / s;
            weight[k] = std::exp(q * (-q));
        }
    }
    // The taps in increasing d, and their full sum in that order: every
    // output is divided by it, near the border too, since samples there are
    // the means rather than missing.
    double sum = 0.0;
    for (ptrdiff_t j = 0; j < count; j++) {
        taps[j] = weight[std::abs(j - pad)];
        sum += taps[j];
    }

    // Rows, from src into mid.
    fprintf(stderr, "gaussian: Pass 1 (horizontal).\n");
    blur_rows(mid.get(), src, w, h, row.get(), taps.get(), count, sum, [](ptrdiff_t y) {
        if (y % 10 == 0)
            fprintf(stderr, "gaussian: %d\r", int(y));
    });

    // Columns: mid is transposed into dst, so each column is a row read with
    // unit stride; its rows are blurred back into mid and transposed into
    // dst. Every output still adds the same products in the same order.
    // The progress lines count the image's rows, ten at a time, spread over
    // the columns.
    fprintf(stderr, "\ngaussian: Pass 2 (vertical).\n");
    transpose(dst, mid.get(), w, h);
    const ptrdiff_t lines = (h + 9) / 10;
    ptrdiff_t printed = 0;
    auto print_until = [&](ptrdiff_t n) {
        for (; printed < n; printed++)
            fprintf(stderr, "gaussian: %d\r", int(printed * 10));
    };
    blur_rows(mid.get(), dst, h, w, row.get(), taps.get(), count, sum,
              [&](ptrdiff_t x) { print_until(x * lines / w + 1); });
    print_until(lines);
    transpose(dst, mid.get(), h, w);
    fprintf(stderr, "\ngaussian: Done.\n");
    return 0;
}
