// radmask: nonlinear masking, each of R, G, B raised to a power set by the
// luminance of the blurred image at the same position.
// Usage: radmask input.exr blur.exr output.exr
#include <cstdio>

#include "colour.h"
#include "mask.h"
#include "prog.h"

static const char prog_name[] = "radmask";

static rgba_t mask_pixel(const rgba_t &px, const rgba_t &blur)
{
    return mask_rgb(px, mask_gamma(rgb_luminance(blur.r, blur.g, blur.b)));
}

int main(int argc, char **argv)
{
    if (argc < 4) {
        fputs("Usage: radmask input.exr blur.exr output.exr\n", stderr);
        return 1;
    }
    exrinput_ptr in = prog_open_input(prog_name, argv[1]);
    if (!in)
        return 1;
    row_ptr row = prog_alloc_row(prog_name, exrinput_get_width(in.get()));
    if (!row)
        return 1;
    exrinput_ptr blur = prog_open_companion(prog_name, argv[2], in.get());
    if (!blur)
        return 1;
    exroutput_ptr out = prog_create_output(prog_name, argv[3], in.get());
    if (!out)
        return 1;

    prog_map2(prog_name, in.get(), blur.get(), out.get(), row.get(), "Correcting scanline", 10,
              mask_pixel);

    prog_done(prog_name);
    return prog_close(std::move(out), std::move(in), std::move(blur));
}
