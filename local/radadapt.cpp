// radadapt: re-renders each pixel under the standard 20 % background from
// the local background the blurred image gives (CIECAM02 forward under the
// blurred luminance, inverse under Yb = 20).
// Usage: radadapt input.exr blur.exr output.exr
#include <cmath>
#include <cstdio>

#include "ciecam02.h"
#include "colour.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radadapt";

// Whether a blurred pixel's luminance is not positive: a background of 0
// would make the model divide by zero, so such a pixel takes the background
// of 1 % (and is warned of). A NaN luminance is not floored.
static bool adapt_floored(const rgba_t &blur)
{
    return rgb_luminance(blur.r, blur.g, blur.b) <= 0;
}

// The pixel re-rendered: CIECAM02 forward under the background its blurred
// pixel gives (100 Y, or 1 when floored), inverse under the standard one.
// A colour brighter than the inverse can render (its decompression is
// undefined past its asymptote, at the sun and lamps) comes back as not a
// number; such a pixel keeps its own colour rather than turning black.
static rgba_t adapt_pixel(const rgba_t &px, const rgba_t &blur, const ciecam02_conditions &standard)
{
    // Only the background changes from pixel to pixel: the terms of the
    // fixed white, adapting luminance and surround come prepared.
    ciecam02_conditions local = standard;
    ciecam02_set_background(&local, adapt_floored(blur) ? 1.0 : 100.0 * rgb_luminance(blur.r, blur.g, blur.b));
    double x, y, z, j, c, h;
    rgb_to_xyz(px.r, px.g, px.b, &x, &y, &z);
    ciecam02_forward_prepared(&j, &c, &h, 100.0 * x, 100.0 * y, 100.0 * z, local);
    ciecam02_inverse_prepared(&x, &y, &z, j, c, h, standard);
    rgba_t out;
    xyz_to_rgb(x / 100.0, y / 100.0, z / 100.0, &out.r, &out.g, &out.b);
    if (std::isnan(out.r) || std::isnan(out.g) || std::isnan(out.b))
        out = px;
    out.a = px.a;
    return out;
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radadapt", "Usage: radadapt input.exr blur.exr output.exr\n", 3}, argc,
                    argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], argv[first + 1], argv[first + 2], &files))
        return 1;

    const ciecam02_conditions &standard = ciecam02_fixed();
    prog_map2(prog_name, files, "Correcting scanline", 10, [&](const rgba_t &px, const rgba_t &blur) {
        if (adapt_floored(blur))
            fputs("warning\n", stderr);
        return adapt_pixel(px, blur, standard);
    });

    return prog_finish(prog_name, files);
}
