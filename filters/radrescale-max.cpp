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
    prog_files files;
    if (!prog_open_files(prog_name, argv[1], nullptr, argv[2], &files))
        return 1;

    double max;
    if (argc == 3) {
        max = rescale_scan(prog_name, files.in.get()).max_any;
        fprintf(stderr, "\nradrescale: Maximum value: %.3f\n", max);
    } else {
        max = atof(argv[3]);
        fprintf(stderr, "\nradrescale: Setting maximum value: %.3f\n", max);
    }
    prog_map(prog_name, files, "Writing", 10,
             [&](const rgba_t &px) { return rescale_divide_pixel(px, max); });

    return prog_finish(prog_name, files);
}
