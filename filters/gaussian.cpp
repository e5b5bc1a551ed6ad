// gaussian: the separable Gaussian blur of radsoften, rows then columns.
// The passes are arranged for the cache (padded rows, strips of columns)
// but add exactly the terms of the straightforward form, in its order, so
// the result is bit-identical to summing gaussian_sample tap by tap.
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

// Rows y0 ... y1-1 of the B columns from x of the vertical pass, from the
// w x h image src into dst; the taps' centre is tap count / 2.
template <int B>
void blur_strip(rgba_t *dst, const rgba_t *src, ptrdiff_t w, ptrdiff_t h, ptrdiff_t x,
                ptrdiff_t y0, ptrdiff_t y1, const double *taps, ptrdiff_t count, double sum)
{
    const ptrdiff_t pad = count / 2;
    for (ptrdiff_t y = y0; y < y1; y++) {
        // taps lo ... hi-1 land on rows y + j - pad inside the image
        ptrdiff_t lo = std::max<ptrdiff_t>(0, pad - y);
        ptrdiff_t hi = std::min<ptrdiff_t>(count, h + pad - y);
        blur_block<B>(dst + y * w + x, src + (y + lo - pad) * w + x, w, taps, lo, hi, count, sum);
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
    const ptrdiff_t padded_w = w + 2 * pad;

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

    // Rows: each row is copied between margins of pad mean pixels, so every
    // output reads count consecutive pixels with no bounds checks.
    const rgba_t mean = {gaussian_mean[0], gaussian_mean[1], gaussian_mean[2], gaussian_mean[3]};
    std::fill(row.get(), row.get() + pad, mean);
    std::fill(row.get() + pad + w, row.get() + padded_w, mean);
    fprintf(stderr, "gaussian: Pass 1 (horizontal).\n");
    for (ptrdiff_t y = 0; y < h; y++) {
        if (y % 10 == 0)
            fprintf(stderr, "gaussian: %d\r", int(y));
        memcpy(row.get() + pad, src + y * w, size_t(w) * sizeof(rgba_t));
        rgba_t *out = mid.get() + y * w;
        ptrdiff_t x = 0;
        for (; x + block <= w; x += block)
            blur_block<block>(out + x, row.get() + x, 1, taps.get(), 0, count, count, sum);
        for (; x < w; x++)
            blur_block<1>(out + x, row.get() + x, 1, taps.get(), 0, count, count, sum);
    }

    // Columns: ten rows at a time (one progress line each), walked in strips
    // a block wide, so each tap reads whole cache lines and the rows a strip
    // needs stay in cache from one output row to the next.
    fprintf(stderr, "\ngaussian: Pass 2 (vertical).\n");
    for (ptrdiff_t y0 = 0; y0 < h; y0 += 10) {
        fprintf(stderr, "gaussian: %d\r", int(y0));
        const ptrdiff_t y1 = std::min<ptrdiff_t>(h, y0 + 10);
        ptrdiff_t x = 0;
        for (; x + block <= w; x += block)
            blur_strip<block>(dst, mid.get(), w, h, x, y0, y1, taps.get(), count, sum);
        for (; x < w; x++)
            blur_strip<1>(dst, mid.get(), w, h, x, y0, y1, taps.get(), count, sum);
    }
    fprintf(stderr, "\ngaussian: Done.\n");
    return 0;
}
