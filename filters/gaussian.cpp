// gaussian: the separable Gaussian blur of radsoften, rows then columns.
// The rows are blurred from the source into the destination, which then
// holds the intermediate image; its columns are blurred in place, in strips
// gathered as rows so that every tap reads with unit stride. Both passes add
// exactly the terms of the straightforward form, in its order, so the result
// is bit-identical to summing gaussian_sample tap by tap.
#include "gaussian.h"

#include "heap.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

double gaussian_mean[4];

void gaussian_image_free::operator()(rgba_t *img) const
{
    free(img);
}

gaussian_image_ptr gaussian_image_new(int w, int h)
{
    if (w < 0 || h < 0)
        return nullptr;
    size_t count = size_t(w) * size_t(h); // below 2^62: cannot wrap
    if (count > size_t(PTRDIFF_MAX) / sizeof(rgba_t))
        return nullptr;
    const size_t bytes = std::max<size_t>(count, 1) * sizeof(rgba_t);
    constexpr size_t huge_page = size_t(2) << 20;
    void *img = nullptr;
    if (bytes < huge_page)
        img = malloc(bytes);
    else if (posix_memalign(&img, huge_page, bytes) == 0)
        heap_advise_huge(img, bytes);
    else
        img = nullptr;
    return gaussian_image_ptr(static_cast<rgba_t *>(img));
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

// B neighbouring output pixels out[0 .. B-1] of a padded row: output i
// adds, for the taps j = 0 ... count-1 in increasing order, taps[j] times
// in[j + i], and is divided by sum.
template <int B>
void blur_block(rgba_t *out, const rgba_t *in, const double *taps, ptrdiff_t count, double sum)
{
    double2 rg[B], ba[B];
#pragma GCC unroll 8
    for (int i = 0; i < B; i++)
        rg[i] = ba[i] = double2{0.0, 0.0};
    for (ptrdiff_t j = 0; j < count; j++) {
        const double2 t = {taps[j], taps[j]};
        const rgba_t *p = in + j;
        asm("" : "+r"(p)); // as in blur_block_wide
#pragma GCC unroll 8
        for (int i = 0; i < B; i++) {
            rg[i] += t * load(&p[i].r);
            ba[i] += t * load(&p[i].b);
        }
    }
    const double2 s = {sum, sum};
#pragma GCC unroll 8
    for (int i = 0; i < B; i++) {
        store(&out[i].r, rg[i] / s);
        store(&out[i].b, ba[i] / s);
    }
}

// One padded row blurred with the two-lane kernel: out[x] for x < w from
// row[x ... x + count - 1].
void blur_row_narrow(rgba_t *out, const rgba_t *row, ptrdiff_t w, const double *taps,
                     ptrdiff_t count, double sum)
{
    ptrdiff_t x = 0;
    for (; x + block <= w; x += block)
        blur_block<block>(out + x, row + x, taps, count, sum);
    for (; x < w; x++)
        blur_block<1>(out + x, row + x, taps, count, sum);
}

// The four-lane kernel, for processors with AVX2: a whole pixel a register,
// so each tap takes half the instructions. Each lane still multiplies and
// adds separately (no fused multiply-add), in the same order, so the result
// is bit-identical to the two-lane kernel's.
typedef double double4 __attribute__((vector_size(32)));

__attribute__((target("avx2"), always_inline)) inline double4 load4(const rgba_t *p)
{
    double4 v;
    memcpy(&v, p, sizeof v);
    return v;
}

// Eight pixels are eight independent sums of four lanes, enough to cover
// the adder's latency.
constexpr int wide_block = 8;

template <int B>
__attribute__((target("avx2"), always_inline)) inline void
blur_block_wide(rgba_t *out, const rgba_t *in, const double *taps, ptrdiff_t count, double sum)
{
    double4 acc[B];
#pragma GCC unroll 8
    for (int i = 0; i < B; i++)
        acc[i] = double4{0.0, 0.0, 0.0, 0.0};
    for (ptrdiff_t j = 0; j < count; j++) {
        const double4 t = {taps[j], taps[j], taps[j], taps[j]};
        // Hide from the compiler that this tap's pixels overlap the last
        // tap's: reusing them would rotate registers and spill a sum to
        // the stack, which slows every tap.
        const rgba_t *p = in + j;
        asm("" : "+r"(p));
#pragma GCC unroll 8
        for (int i = 0; i < B; i++)
            acc[i] += t * load4(p + i);
    }
    const double4 s = {sum, sum, sum, sum};
#pragma GCC unroll 8
    for (int i = 0; i < B; i++) {
        const double4 v = acc[i] / s;
        memcpy(&out[i], &v, sizeof v);
    }
}

__attribute__((target("avx2"))) void blur_row_wide(rgba_t *out, const rgba_t *row, ptrdiff_t w,
                                                   const double *taps, ptrdiff_t count,
                                                   double sum)
{
    ptrdiff_t x = 0;
    for (; x + wide_block <= w; x += wide_block)
        blur_block_wide<wide_block>(out + x, row + x, taps, count, sum);
    for (; x + 4 <= w; x += 4)
        blur_block_wide<4>(out + x, row + x, taps, count, sum);
    for (; x < w; x++)
        blur_block_wide<1>(out + x, row + x, taps, count, sum);
}

using row_kernel = void (*)(rgba_t *, const rgba_t *, ptrdiff_t, const double *, ptrdiff_t, double);

bool wide_available()
{
    return __builtin_cpu_supports("avx2");
}

gaussian_kernel selected = GAUSSIAN_AUTO;

row_kernel kernel()
{
    bool wide = selected == GAUSSIAN_WIDE || (selected == GAUSSIAN_AUTO && wide_available());
    return wide ? blur_row_wide : blur_row_narrow;
}

// Blurs the h rows of w pixels of in along each row into out. Each row is
// copied between margins of pad mean pixels (row holds w + 2 pad), so every
// output reads count consecutive pixels with no bounds checks. progress(y)
// is called before row y.
template <class Progress>
void blur_rows(rgba_t *out, const rgba_t *in, ptrdiff_t w, ptrdiff_t h, rgba_t *row,
               const double *taps, ptrdiff_t count, double sum, Progress &&progress)
{
    const row_kernel blur_row = kernel();
    const ptrdiff_t pad = count / 2;
    const rgba_t mean = {gaussian_mean[0], gaussian_mean[1], gaussian_mean[2], gaussian_mean[3]};
    std::fill(row, row + pad, mean);
    std::fill(row + pad + w, row + w + 2 * pad, mean);
    for (ptrdiff_t y = 0; y < h; y++) {
        progress(y);
        memcpy(row + pad, in + y * w, size_t(w) * sizeof(rgba_t));
        blur_row(out + y * w, row, w, taps, count, sum);
    }
}

// Blurs the w columns of the w x h image img in place, a strip of
// `strip` columns at a time: the strip's columns are gathered into rows of
// cols (each `stride` pixels apart, h between margins of pad mean pixels),
// each is blurred like a row into a row of out (h pixels each), and out is
// scattered back. The outputs are those of a column blur; only the order of
// the work differs. progress(x) is called before column x.
constexpr ptrdiff_t strip = 8;

template <class Progress>
void blur_columns(rgba_t *img, ptrdiff_t w, ptrdiff_t h, rgba_t *cols, ptrdiff_t stride,
                  rgba_t *out, const double *taps, ptrdiff_t count, double sum,
                  Progress &&progress)
{
    const row_kernel blur_row = kernel();
    const ptrdiff_t pad = count / 2;
    const rgba_t mean = {gaussian_mean[0], gaussian_mean[1], gaussian_mean[2], gaussian_mean[3]};
    for (ptrdiff_t c = 0; c < strip; c++) {
        rgba_t *col = cols + c * stride;
        std::fill(col, col + pad, mean);
        std::fill(col + pad + h, col + h + 2 * pad, mean);
    }
    for (ptrdiff_t x0 = 0; x0 < w; x0 += strip) {
        const ptrdiff_t k = std::min(strip, w - x0);
        for (ptrdiff_t y = 0; y < h; y++)
            for (ptrdiff_t c = 0; c < k; c++)
                cols[c * stride + pad + y] = img[y * w + x0 + c];
        for (ptrdiff_t c = 0; c < k; c++) {
            progress(x0 + c);
            blur_row(out + c * h, cols + c * stride, h, taps, count, sum);
        }
        for (ptrdiff_t y = 0; y < h; y++)
            for (ptrdiff_t c = 0; c < k; c++)
                img[y * w + x0 + c] = out[c * h + y];
    }
}

// Storage for count pixels that start on a 64-byte boundary, so that no
// pixel straddles two cache lines (each would be a split load for every
// tap); data is null when memory is short.
struct aligned_pixels {
    std::unique_ptr<rgba_t[]> store;
    rgba_t *data = nullptr;

    explicit aligned_pixels(ptrdiff_t count)
    {
        if (count < 0 || count > PTRDIFF_MAX / ptrdiff_t(sizeof(rgba_t)) - 2)
            return;
        store.reset(new (std::nothrow) rgba_t[count + 2]);
        void *p = store.get();
        size_t space = size_t(count + 2) * sizeof(rgba_t);
        if (p)
            data = static_cast<rgba_t *>(std::align(64, size_t(count) * sizeof(rgba_t), p, space));
    }
};

// Half-widths beyond this cannot be indexed (the padded row would not fit
// in ptrdiff_t); such a blur is refused like one whose tables cannot be had.
constexpr double max_radius = double(PTRDIFF_MAX / (8 * sizeof(rgba_t)));

} // namespace

bool gaussian_select(gaussian_kernel k)
{
    if (k == GAUSSIAN_WIDE && !wide_available())
        return false;
    selected = k;
    return true;
}

bool gaussian_uses_wide()
{
    return kernel() == blur_row_wide;
}

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
    // Rows of the strips start on even pixels, so on 64-byte boundaries.
    const ptrdiff_t stride = (h + 2 * pad + 1) / 2 * 2;

    std::unique_ptr<double[]> weight(new (std::nothrow) double[n]);
    std::unique_ptr<double[]> taps(weight ? new (std::nothrow) double[count] : nullptr);
    aligned_pixels row(taps ? w + 2 * pad : -1);
    aligned_pixels cols(row.data && stride <= PTRDIFF_MAX / ptrdiff_t(sizeof(rgba_t)) / strip
                            ? strip * stride
                            : -1);
    aligned_pixels out(cols.data ? strip * ptrdiff_t(h) : -1);
    if (!out.data)
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

    // Rows, from src into dst.
    fprintf(stderr, "gaussian: Pass 1 (horizontal).\n");
    blur_rows(dst, src, w, h, row.data, taps.get(), count, sum, [](ptrdiff_t y) {
        if (y % 10 == 0)
            fprintf(stderr, "gaussian: %d\r", int(y));
    });

    // Columns, in place in dst, with unit stride in strips: every output
    // still adds the same products in the same order. The progress lines
    // count the image's rows, ten at a time, spread over the columns.
    fprintf(stderr, "\ngaussian: Pass 2 (vertical).\n");
    const ptrdiff_t lines = (h + 9) / 10;
    ptrdiff_t printed = 0;
    auto print_until = [&](ptrdiff_t n) {
        for (; printed < n; printed++)
            fprintf(stderr, "gaussian: %d\r", int(printed * 10));
    };
    blur_columns(dst, w, h, cols.data, stride, out.data, taps.get(), count, sum,
                 [&](ptrdiff_t x) { print_until(x * lines / w + 1); });
    print_until(lines);
    fprintf(stderr, "\ngaussian: Done.\n");
    return 0;
}
