// radmask: nonlinear masking, each of R, G, B raised to a power set by the
// luminance of the blurred image at the same position.
// Usage: radmask input.exr blur.exr output.exr
#include <cstdio>

#include "colour.h"
#include "mask.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radmask";

static rgba_t mask_pixel(const rgba_t &px, const rgba_t &blur)
{
    return mask_rgb(px, mask_gamma(rgb_luminance(blur.r, blur.g, blur.b)));
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radmask", "Usage: radmask input.exr blur.exr output.exr\n", 3}, argc, argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], argv[first + 1], argv[first + 2], &files))
        return 1;

    prog_map2(prog_name, files, "Correcting scanline", 10, mask_pixel);

    return prog_finish(prog_name, files);
}
