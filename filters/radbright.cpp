// radbright: replaces every pixel's colour by its luminance.
// Usage: radbright input.exr output.exr
#include <cstdio>

#include "colour.h"
#include "prog.h"

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
    if (argc < 3) {
        fputs("Usage: radbright input.exr output.exr\n", stderr);
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

    prog_map(prog_name, in.get(), out.get(), row.get(), "Writing", 10, bright_pixel);

    prog_done(prog_name);
    return prog_close(std::move(out), std::move(in));
}
