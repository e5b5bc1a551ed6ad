// gaussian: the separable Gaussian blur of radsoften. Samples beyond the
// image border are the image's channel means, so the border neither darkens
// nor smears its edge pixels outwards. The module keeps no state and prints
// nothing: the means come with every call, progress goes to the caller.
#ifndef GAUSSIAN_H
#define GAUSSIAN_H

#include <cstddef>
#include <memory>

#include "rgba.h"

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
// that channel of mean when (x, y) lies outside it.
double gaussian_sample(const rgba_t *img, ptrdiff_t x, ptrdiff_t y, int w, int h, int c,
                       const rgba_t &mean);

// Called by gaussian_blur before row y of each pass: pass 1 (along rows)
// for y = 0 ... h-1, then pass 2 (along columns) for y = 0 ... h-1. Pass 2
// works on strips of columns, so its calls are spread over it: the call for
// y comes once about y/h of the pass is done. ctx is the caller's.
typedef void (*gaussian_progress)(void *ctx, int pass, int y);

// Blurs src into dst (w x h images; dst may be src) with weights
// exp(-k^2/s^2), s = trunc(size + 1) - 1, over offsets -(2s + 1) ... 2s + 1
// along rows, then along columns. Each output is the sum over the offsets,
// in increasing order, of weight times sample, divided by the sum of all
// the weights; samples outside the image are mean, in both passes. A size
// below one pixel (or not a number) is a single tap of weight 1: dst
// becomes a copy of src. The rows are blurred into dst, which then holds
// the intermediate image, and its columns are blurred in place, so the blur
// needs no image of its own, only a padded row and a few strips of columns.
// lanes chooses the row kernel: 0 the widest the processor has (see
// gaussian_lanes), or 2, 4 or 8; every kernel gives the same bits. progress
// may be null. Returns 0, or 1 when its tables or strips cannot be
// allocated or lanes names a kernel the processor lacks (then progress has
// not been called and dst is untouched).
[[nodiscard]] int gaussian_blur(rgba_t *dst, const rgba_t *src, int w, int h, double size,
                                const rgba_t &mean, gaussian_progress progress = nullptr,
                                void *ctx = nullptr, int lanes = 0);

// The widest row kernel this processor runs: 8 lanes (two pixels a register)
// with AVX-512F, 4 (a pixel a register) with AVX2, else 2. A processor that
// runs one runs the narrower ones too.
int gaussian_lanes();

#endif
