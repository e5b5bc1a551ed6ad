// gaussian: the separable Gaussian blur of radsoften. Samples beyond the
// image border are the image's channel means, so the border neither darkens
// nor smears its edge pixels outwards.
#ifndef GAUSSIAN_H
#define GAUSSIAN_H

#include <cstddef>
#include <memory>

#include "rgba.h"

// Mean R, G, B and A of the image being blurred. The caller fills them
// before gaussian_blur; gaussian_sample returns them outside the image.
extern double gaussian_mean[4];

struct gaussian_image_free {
    void operator()(rgba_t *img) const;
};
using gaussian_image_ptr = std::unique_ptr<rgba_t[], gaussian_image_free>;

// A whole image of w x h pixels, row-major, owned by the caller; null when
// its byte size does not fit in memory's address range or memory is short.
// Images of 2 MB or more start on a 2 MB boundary and ask the system for
// huge pages: each 4 KB page touched for the first time is a fault, and at
// a few microseconds each (more under a hypervisor) those faults would cost
// a third of a blur.
[[nodiscard]] gaussian_image_ptr gaussian_image_new(int w, int h);

// Channel c (0 R, 1 G, 2 B, 3 A) of pixel (x, y) of the w x h image img, or
// gaussian_mean[c] when (x, y) lies outside it.
double gaussian_sample(const rgba_t *img, ptrdiff_t x, ptrdiff_t y, int w, int h, int c);

// Blurs src into dst (distinct w x h images) with weights exp(-k^2/s^2),
// s = trunc(size + 1) - 1, over offsets -(2s + 1) ... 2s + 1 along rows,
// then along columns. Each output is the sum over the offsets, in increasing
// order, of weight times sample, divided by the sum of all the weights. A
// size below one pixel (or not a number) is a single tap of weight 1: dst
// becomes a copy of src. The intermediate image (rows blurred) is held in
// dst, so the blur needs no third image, only a few strips of columns.
// Prints its pass and progress lines on stderr. Returns 0, or 1 when its
// tables or strips cannot be allocated (then nothing is printed and dst is
// untouched).
[[nodiscard]] int gaussian_blur(rgba_t *dst, const rgba_t *src, int w, int h, double size);

// The row kernel gaussian_blur uses: by default four lanes (a whole pixel a
// register) where the processor has AVX2, else two. Both give the same bits;
// tests and the benchmark choose one to compare them.
enum gaussian_kernel { GAUSSIAN_AUTO, GAUSSIAN_NARROW, GAUSSIAN_WIDE };

// Selects the kernel; false, keeping the current one, when GAUSSIAN_WIDE is
// asked for and the processor lacks AVX2.
bool gaussian_select(gaussian_kernel k);

// Whether the four-lane kernel is the one in use.
bool gaussian_uses_wide();

#endif
