// radrescale: stretches R, G and B so that the smallest positive colour value
// becomes 0 and the largest 1, or subtracts a given minimum.
// Usage: radrescale input.exr output.exr [minval]
#include <cstdio>
#include <cstdlib>

#include "prog.h"
#include "rescale.h"

static const char prog_name[] = "radrescale";

int main(int argc, char **argv)
{
    if (argc < 3) {
        fputs("Usage: radrescale input.exr output.exr [minval]\n", stderr);
        return 1;
    }
    exrinput_ptr in = prog_open_input(prog_name, argv[1]);
    if (!in)
        return 1;
    row_ptr row = prog_alloc_row(prog_name, exrinput_get_width(in.get()));
    if (!row)
        return 1;
    exroutput_ptr out = prog_create_output(prog_name, argv[2], in.get());
    if (!out)
        return 1;

    bool scanning = argc == 3;
    double min, max = 0;
    if (scanning) {
        rescale_range st = rescale_scan(prog_name, in.get());
        // Without a positive value there is nothing to stretch from: the
        // range becomes [0, 0] and every colour value is written as 0,
        // rather than stretching from the untouched starting minimum, which
        // would turn such an image white.
        min = st.min <= st.max ? st.min : 0;
        max = st.max;
        fprintf(stderr, "\nradrescale: Minimum value: %.3f, maximum %.3f\n", min, max);
    } else {
        min = atof(argv[3]);
        fprintf(stderr, "\nradrescale: Setting minimum value: %.3f\n", min);
    }
    prog_map(prog_name, in.get(), out.get(), row.get(), "Writing", 10, [&](const rgba_t &px) {
        return scanning ? rescale_stretch_pixel(px, min, max) : rescale_offset_pixel(px, min);
    });

    prog_done(prog_name);
    return prog_close(std::move(out), std::move(in));
}
