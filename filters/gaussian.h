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

// A whole image of w x h pixels, row-major, owned by the caller; null when
// its byte size does not fit in memory's address range or memory is short.
[[nodiscard]] std::unique_ptr<rgba_t[]> gaussian_image_new(int w, int h);

// Channel c (0 R, 1 G, 2 B, 3 A) of pixel (x, y) of the w x h image img, or
// gaussian_mean[c] when (x, y) lies outside it.
double gaussian_sample(const rgba_t *img, ptrdiff_t x, ptrdiff_t y, int w, int h, int c);

// Blurs src into dst (distinct w x h images) with weights exp(-k^2/s^2),
// s = trunc(size + 1) - 1, over offsets -(2s + 1) ... 2s + 1 along rows,
// then along columns. Each output is the sum over the offsets, in increasing
// order, of weight times sample, divided by the sum of all the weights. A
// size below one pixel (or not a number) is a single tap of weight 1: dst
// becomes a copy of src. Prints its pass and progress lines on stderr.
// Returns 0, or 1 when its tables or its intermediate image cannot be
// allocated (then nothing is printed and dst is untouched).
[[nodiscard]] int gaussian_blur(rgba_t *dst, const rgba_t *src, int w, int h, double size);

#endif
