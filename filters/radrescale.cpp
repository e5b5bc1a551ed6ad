// radrescale: stretches R, G and B so that the smallest positive colour value
// becomes 0 and the largest 1, or subtracts a given minimum.
// Usage: radrescale input.exr output.exr [minval]
#include <cstdio>
#include <cstdlib>

#include "prog.h"
#include "rescale.h"
#include "heap.h"

static const char prog_name[] = "radrescale";

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radrescale", "Usage: radrescale input.exr output.exr [minval]\n", 2}, argc, argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], nullptr, argv[first + 1], &files))
        return 1;

    bool scanning = argc == 3;
    double min, max = 0;
    if (scanning) {
        rescale_range st = rescale_scan(prog_name, files.in.get());
        // Without a positive value there is nothing to stretch from: the
        // range becomes [0, 0] and every colour value is written as 0,
        // rather than stretching from the untouched starting minimum, which
        // would turn such an image white.
        min = st.min <= st.max ? st.min : 0;
        max = st.max;
        fprintf(stderr, "\nradrescale: Minimum value: %.3f, maximum %.3f\n", min, max);
    } else {
        min = atof(argv[first + 2]);
        fprintf(stderr, "\nradrescale: Setting minimum value: %.3f\n", min);
    }
    prog_map(prog_name, files, "Writing", 10, [&](const rgba_t &px) {
        return scanning ? rescale_stretch_pixel(px, min, max) : rescale_offset_pixel(px, min);
    });

    return prog_finish(prog_name, files);
}
