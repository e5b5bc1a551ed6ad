// radadapt-degree: von Kries adaptation in CAT02 space from the local white
// the blurred image gives (its chromaticity only) towards D65, to a degree D.
// Usage: radadapt-degree input.exr blur.exr output.exr degree_of_adaptation
#include <cstdio>
#include <cstdlib>

#include "ciecam02.h"
#include "colour.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radadapt";

// CAT02 response of the target white (0.9505, 1.0, 1.0888).
constexpr double target_r = 0.94930528;
constexpr double target_g = 1.03536988;
constexpr double target_b = 1.08717742;

// The gains' parts that depend only on D: target white x D, and 1 - D.
struct degree_terms {
    double dr, dg, db, rest;
};

static degree_terms degree_terms_of(double d)
{
    return {target_r * d, target_g * d, target_b * d, 1.0 - d};
}

// A blurred pixel of zero luminance divides by zero: NaN or infinite output,
// which the writer stores as 0.
static rgba_t adapt_degree_pixel(const rgba_t &px, const rgba_t &blur, const degree_terms &t)
{
    double xl, yl, zl, rw, gw, bw;
    rgb_to_xyz(blur.r, blur.g, blur.b, &xl, &yl, &zl);
    ciecam02_cat02(xl / yl, 1.0, zl / yl, &rw, &gw, &bw);

    double x, y, z, rs, gs, bs;
    rgb_to_xyz(px.r, px.g, px.b, &x, &y, &z);
    ciecam02_cat02(x, y, z, &rs, &gs, &bs);
    ciecam02_cat02_inverse((t.dr / rw + t.rest) * rs, (t.dg / gw + t.rest) * gs,
                        (t.db / bw + t.rest) * bs, &x, &y, &z);
    rgba_t out;
    xyz_to_rgb(x, y, z, &out.r, &out.g, &out.b);
    out.a = px.a;
    return out;
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radadapt-degree", "Usage: radadapt input.exr blur.exr output.exr degree_of_adaptation\n", 4}, argc, argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], argv[first + 1], argv[first + 2], &files))
        return 1;
    double d = atof(argv[first + 3]);
    fprintf(stderr, "radadapt: Degree of adaptation %.2f\n", d);

    degree_terms t = degree_terms_of(d);
    prog_map2(prog_name, files, "Correcting scanline", 10,
              [&](const rgba_t &px, const rgba_t &bpx) { return adapt_degree_pixel(px, bpx, t); });

    return prog_finish(prog_name, files);
}
