// radrescale-max: divides R, G and B by the largest colour value of the
// image or by a given maximum. Prints its messages as radrescale.
// Usage: radrescale input.exr output.exr [maxval]
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
    if (!prog_parse({prog_name, "radrescale-max", "Usage: radrescale input.exr output.exr [maxval]\n", 2}, argc, argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], nullptr, argv[first + 1], &files))
        return 1;

    double max;
    if (argc == 3) {
        max = rescale_scan(prog_name, files.in.get()).max_any;
        fprintf(stderr, "\nradrescale: Maximum value: %.3f\n", max);
    } else {
        max = atof(argv[first + 2]);
        fprintf(stderr, "\nradrescale: Setting maximum value: %.3f\n", max);
    }
    prog_map(prog_name, files, "Writing", 10,
             [&](const rgba_t &px) { return rescale_divide_pixel(px, max); });

    return prog_finish(prog_name, files);
}
