// gaussian: the separable Gaussian blur of radsoften, rows then columns.
// Each row is blurred from the source into the destination, which then
// holds the intermediate image; its columns are blurred in place, in strips
// gathered as rows so that every tap reads with unit stride. Both passes add
// exactly the terms of the straightforward form, in its order, so the result
// is bit-identical to summing gaussian_sample tap by tap.
#include "gaussian.h"

#include "heap.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

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

double gaussian_sample(const rgba_t *img, ptrdiff_t x, ptrdiff_t y, int w, int h, int c,
                       const rgba_t &mean)
{
    const rgba_t &p = x < 0 || y < 0 || x >= w || y >= h ? mean : img[y * w + x];
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

// The eight-lane kernel, for processors with AVX-512F: two neighbouring
// output pixels a register, each lane still one separately rounded multiply
// and add a tap, in the same order, so the bits are the other kernels'.
// With twice the lanes the kernel would need twice the loads a cycle if
// every tap loaded its pixels afresh, more than the core sustains. But the
// pixel pair that output pair i reads at tap j is the one output pair i + 1
// reads at tap j - 2: each pair loaded serves `pairs` taps. The pairs in
// use are held in a ring of 2 pairs - 1 registers, and the taps run in
// periods of that length, so each tap loads one new pair and every ring
// index is known when compiling.
typedef double double8 __attribute__((vector_size(64)));

__attribute__((target("avx512f"), always_inline)) inline double8 load8(const rgba_t *p)
{
    double8 v;
    memcpy(&v, p, sizeof v);
    return v;
}

__attribute__((target("avx512f"), always_inline)) inline double8 broadcast8(double t)
{
    return double8{t, t, t, t, t, t, t, t};
}

// Tap P of a period starting at in: the pair at in + P + 2 (pairs - 1), new
// at this tap, joins the ring; output pair i adds taps[P] times the pair at
// in + P + 2i.
template <int pairs, int P>
__attribute__((target("avx512f"), always_inline)) inline void
ring_tap(double8 (&acc)[pairs], double8 (&ring)[2 * pairs - 1], const rgba_t *in,
         const double *taps)
{
    constexpr int size = 2 * pairs - 1;
    ring[(P + 2 * pairs - 2) % size] = load8(in + P + 2 * pairs - 2);
    const double8 t = broadcast8(taps[P]);
#pragma GCC unroll 16
    for (int i = 0; i < pairs; i++)
        acc[i] += t * ring[(P + 2 * i) % size];
}

template <int pairs, int... P>
__attribute__((target("avx512f"), always_inline)) inline void
ring_period(double8 (&acc)[pairs], double8 (&ring)[2 * pairs - 1], const rgba_t *in,
            const double *taps, std::integer_sequence<int, P...>)
{
    (ring_tap<pairs, P>(acc, ring, in, taps), ...);
}

// Six pairs are six independent sums, enough to cover the adder's latency;
// with their ring and a tap they take 18 of the 32 registers. Eight would
// cover it too, but the compiler then spills sums to the stack.
constexpr int widest_pairs = 6;

// The 2 x pairs neighbouring output pixels out[0 ...] from in, as
// blur_block does: whole periods through the ring, then the last taps
// (fewer than a period) loading their pairs directly.
template <int pairs>
__attribute__((target("avx512f"), always_inline)) inline void
blur_block_widest(rgba_t *out, const rgba_t *in, const double *taps, ptrdiff_t count, double sum)
{
    constexpr int size = 2 * pairs - 1;
    double8 acc[pairs], ring[size];
#pragma GCC unroll 16
    for (int i = 0; i < pairs; i++)
        acc[i] = broadcast8(0.0);
    ptrdiff_t j = 0;
    if (count >= size) {
#pragma GCC unroll 16
        for (int k = 0; k < size - 1; k++)
            ring[k] = load8(in + k);
        for (; j + size <= count; j += size)
            ring_period<pairs>(acc, ring, in + j, taps + j, std::make_integer_sequence<int, size>());
    }
    for (; j < count; j++) {
        const double8 t = broadcast8(taps[j]);
        const rgba_t *p = in + j;
        asm("" : "+r"(p)); // as in blur_block_wide
#pragma GCC unroll 16
        for (int i = 0; i < pairs; i++)
            acc[i] += t * load8(p + 2 * i);
    }
    const double8 s = broadcast8(sum);
#pragma GCC unroll 16
    for (int i = 0; i < pairs; i++) {
        const double8 v = acc[i] / s;
        memcpy(&out[2 * i], &v, sizeof v);
    }
}

__attribute__((target("avx512f"))) void blur_row_widest(rgba_t *out, const rgba_t *row,
                                                        ptrdiff_t w, const double *taps,
                                                        ptrdiff_t count, double sum)
{
    ptrdiff_t x = 0;
    for (; x + 2 * widest_pairs <= w; x += 2 * widest_pairs)
        blur_block_widest<widest_pairs>(out + x, row + x, taps, count, sum);
    if (x + 8 <= w) {
        blur_block_widest<4>(out + x, row + x, taps, count, sum);
        x += 8;
    }
    if (x + 4 <= w) {
        blur_block_widest<2>(out + x, row + x, taps, count, sum);
        x += 4;
    }
    if (x + 2 <= w) {
        blur_block_widest<1>(out + x, row + x, taps, count, sum);
        x += 2;
    }
    if (x < w)
        blur_block_wide<1>(out + x, row + x, taps, count, sum);
}

using row_kernel = void (*)(rgba_t *, const rgba_t *, ptrdiff_t, const double *, ptrdiff_t, double);

// The kernel of `lanes` lanes, or null when there is none of that width.
row_kernel kernel_of(int lanes)
{
    switch (lanes) {
    case 2:
        return blur_row_narrow;
    case 4:
        return blur_row_wide;
    case 8:
        return blur_row_widest;
    }
    return nullptr;
}

// Blurs the h rows of w pixels of in along each row into out (which may be
// in). Each row is copied between margins of pad mean pixels (row holds
// w + 2 pad), so every output reads count consecutive pixels with no bounds
// checks. progress(y) is called before row y.
template <class Progress>
void blur_rows(rgba_t *out, const rgba_t *in, ptrdiff_t w, ptrdiff_t h, rgba_t *row,
               row_kernel blur_row, const double *taps, ptrdiff_t count, double sum,
               const rgba_t &mean, Progress &&progress)
{
    const ptrdiff_t pad = count / 2;
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
                  rgba_t *out, row_kernel blur_row, const double *taps, ptrdiff_t count,
                  double sum, const rgba_t &mean, Progress &&progress)
{
    const ptrdiff_t pad = count / 2;
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

int gaussian_lanes()
{
    if (__builtin_cpu_supports("avx2"))
        return __builtin_cpu_supports("avx512f") ? 8 : 4;
    return 2;
}

int gaussian_blur(rgba_t *dst, const rgba_t *src, int w, int h, double size, const rgba_t &mean,
                  gaussian_progress progress, void *ctx, int lanes)
{
    const int widest = gaussian_lanes();
    const row_kernel blur_row = kernel_of(lanes == 0 ? widest : lanes);
    if (!blur_row || lanes > widest)
        return 1;
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

    auto report = [&](int pass, ptrdiff_t y) {
        if (progress)
            progress(ctx, pass, int(y));
    };
    blur_rows(dst, src, w, h, row.data, blur_row, taps.get(), count, sum, mean,
              [&](ptrdiff_t y) { report(1, y); });

    // Columns, in place in dst, with unit stride in strips: every output
    // still adds the same products in the same order. The rows of pass 2
    // are reported as the columns advance.
    ptrdiff_t reported = 0;
    auto report_until = [&](ptrdiff_t y) {
        for (; reported < y; reported++)
            report(2, reported);
    };
    blur_columns(dst, w, h, cols.data, stride, out.data, blur_row, taps.get(), count, sum, mean,
                 [&](ptrdiff_t x) { report_until(x * h / w + 1); });
    report_until(h);
    return 0;
}
