// radtristim: converts an image holding CIE XYZ in its R, G and B channels
// to linear RGB limited to 0 ... 1, counting the limited components.
// Usage: radtristim input.exr output.exr
#include <cstdio>
#include <initializer_list>

#include "colour.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radtristim";

// XYZ to RGB; each component below 0 becomes 0 and adds to *low, each above 1
// becomes 1 and adds to *high. A component that is not a number is passed on
// uncounted.
static rgba_t tristim_pixel(const rgba_t &px, long long *low, long long *high)
{
    rgba_t out;
    xyz_to_rgb(px.r, px.g, px.b, &out.r, &out.g, &out.b);
    for (double *v : {&out.r, &out.g, &out.b}) {
        if (*v < 0) {
            *v = 0;
            ++*low;
        } else if (*v > 1) {
            *v = 1;
            ++*high;
        }
    }
    out.a = px.a;
    return out;
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radtristim", "Usage: radtristim input.exr output.exr\n", 2}, argc, argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], nullptr, argv[first + 1], &files))
        return 1;

    // Counts of components, up to three per pixel: 64-bit so that large
    // images cannot overflow them.
    long long low = 0, high = 0;
    prog_map(prog_name, files, "Writing", 10,
             [&](const rgba_t &px) { return tristim_pixel(px, &low, &high); });

    return prog_finish(prog_name, files, [&] {
        fprintf(stderr, "\nradtristim: Done (low %lld, high %lld).\n", low, high);
    });
}
