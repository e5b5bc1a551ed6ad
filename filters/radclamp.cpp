// radclamp: stretches an image so that the luminances at the 5 % points of
// its luminance histogram map onto 0 and 1.
// Usage: radclamp input.exr output.exr
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "colour.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radclamp";

static const int bins = 1024;

// The two luminances mapped onto 0 and 1, and the histogram bins they came
// from (printed as fractions of the range).
struct clamp_levels {
    int lo, hi;
    double lower, upper;
};

// Bin of a luminance in [min, min + range], or -1 when it has none (a range
// that is not positive and finite, or a luminance outside it): the histogram
// is never indexed outside its counters whatever the data.
static int clamp_bin(double l, double min, double range)
{
    double f = (l - min) / range * (bins - 1);
    if (!(f >= 0 && f < bins))
        return -1;
    return int(f);
}

// The 5 % points of the histogram and the luminances at their lower edges.
// Degenerate images get a defined stretch instead of a zero-width one:
// - every positive luminance equal (max == min): [0, max] maps onto [0, 1],
//   so that level becomes 1;
// - no positive luminance at all (max == 0): [0, 1], the image as it is;
// - both points in one bin: the upper point moves up by one bin.
static clamp_levels clamp_find_levels(const int64_t *hist, int64_t counted, double min,
                                      double max)
{
    double range = max - min;
    if (!(range > 0))
        return {0, bins - 1, 0, max > 0 ? max : 1};
    int lo = bins - 2;
    int64_t sum = 0;
    for (int i = 0; i < bins - 1; i++) {
        sum += hist[i];
        if (double(sum) / double(counted) > 0.05) {
            lo = i;
            break;
        }
    }
    int hi = 1;
    sum = 0;
    for (int i = bins - 1; i > 0; i--) {
        sum += hist[i];
        if (double(sum) / double(counted) > 0.05) {
            hi = i;
            break;
        }
    }
    if (hi <= lo)
        hi = lo + 1;
    return {lo, hi, lo / double(bins - 1) * range + min, hi / double(bins - 1) * range + min};
}

// Maps the colour linearly so that lower becomes 0 and upper 1; nothing is
// limited.
static rgba_t clamp_pixel(const rgba_t &px, double lower, double upper)
{
    double scale = upper - lower;
    return {(px.r - lower) / scale, (px.g - lower) / scale, (px.b - lower) / scale, px.a};
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radclamp", "Usage: radclamp input.exr output.exr\n", 2}, argc, argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], nullptr, argv[first + 1], &files))
        return 1;
    int w = exrinput_get_width(files.in.get());

    // Pixels whose colour is not finite take no part in the range or the
    // histogram, so that one of them cannot make every bin undefined.
    double min = DBL_MAX, max = 0;
    prog_scan(prog_name, files.in.get(), "Scanning", 10, [&](const rgba_t *src, int) {
        for (int x = 0; x < w; x++) {
            if (!rgba_finite(src[x]))
                continue;
            double l = rgb_luminance(src[x].r, src[x].g, src[x].b);
            if (l > 0 && l < min)
                min = l;
            if (l > max)
                max = l;
        }
    });
    if (!(min <= max))
        min = 0; // no positive luminance
    fprintf(stderr, "\nradclamp: Minimum value: %.3f, maximum %.3f\n", min, max);

    int64_t hist[bins] = {0};
    int64_t counted = 0;
    prog_scan(prog_name, files.in.get(), "Scanning", 10, [&](const rgba_t *src, int) {
        for (int x = 0; x < w; x++) {
            double l = rgb_luminance(src[x].r, src[x].g, src[x].b);
            int bin = l > 0 && rgba_finite(src[x]) ? clamp_bin(l, min, max - min) : -1;
            if (bin >= 0) {
                hist[bin]++;
                counted++;
            }
        }
    });
    clamp_levels lv = clamp_find_levels(hist, counted, min, max);
    fprintf(stderr, "radclamp: Min %f, Max %f\n", lv.lo / double(bins - 1), lv.hi / double(bins - 1));
    fprintf(stderr, "radclamp: Minv %f, Maxv %f\n", lv.lower, lv.upper);

    prog_map(prog_name, files, "Writing", 10,
             [&](const rgba_t &px) { return clamp_pixel(px, lv.lower, lv.upper); });

    return prog_finish(prog_name, files);
}
