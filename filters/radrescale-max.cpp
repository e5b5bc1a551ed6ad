// radrescale-max: divides R, G and B by the largest colour value of the
// image or by a given maximum. Prints its messages as radrescale.
// Usage: radrescale input.exr output.exr [maxval]
#include <cstdio>
#include <cstdlib>

#include "prog.h"
#include "rescale.h"

static const char prog_name[] = "radrescale";

int main(int argc, char **argv)
{
    if (argc < 3) {
        fputs("Usage: radrescale input.exr output.exr [maxval]\n", stderr);
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

    double max;
    if (argc == 3) {
        max = rescale_scan(prog_name, in.get()).max_any;
        fprintf(stderr, "\nradrescale: Maximum value: %.3f\n", max);
    } else {
        max = atof(argv[3]);
        fprintf(stderr, "\nradrescale: Setting maximum value: %.3f\n", max);
    }
    prog_map(prog_name, in.get(), out.get(), row.get(), "Writing", 10,
             [&](const rgba_t &px) { return rescale_divide_pixel(px, max); });

    prog_done(prog_name);
    return prog_close(std::move(out), std::move(in));
}
