// radmask-cone: nonlinear masking of the cone responses L, M, S, the power
// set by the luminance of the blurred image at the same position.
// Usage: radmask-cone input.exr blur.exr output.exr
#include <cmath>
#include <cstdio>

#include "colour.h"
#include "mask.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radmask";

// Plain pow on the cone responses: a negative one gives NaN unless gamma is
// a whole number.
static rgba_t mask_cone_pixel(const rgba_t &px, const rgba_t &blur)
{
    double gamma = mask_gamma(rgb_luminance(blur.r, blur.g, blur.b));
    double l, m, s;
    rgb_to_lms(px.r, px.g, px.b, &l, &m, &s);
    return lms_to_rgba(std::pow(l, gamma), std::pow(m, gamma), std::pow(s, gamma), px.a);
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radmask-cone", "Usage: radmask input.exr blur.exr output.exr\n", 3}, argc, argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], argv[first + 1], argv[first + 2], &files))
        return 1;

    prog_map2(prog_name, files, "Correcting scanline", 10, mask_cone_pixel);

    return prog_finish(prog_name, files);
}
