// radbright: replaces every pixel's colour by its luminance.
// Usage: radbright input.exr output.exr
#include <cstdio>

#include "colour.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radbright";

// Grey of the pixel's luminance, alpha kept; a negative luminance is left to
// the writer, which stores it as 0.
static rgba_t bright_pixel(const rgba_t &px)
{
    double y = rgb_luminance(px.r, px.g, px.b);
    return {y, y, y, px.a};
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radbright", "Usage: radbright input.exr output.exr\n", 2}, argc, argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], nullptr, argv[first + 1], &files))
        return 1;

    prog_map(prog_name, files, "Writing", 10, bright_pixel);

    return prog_finish(prog_name, files);
}
