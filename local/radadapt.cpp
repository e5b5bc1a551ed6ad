// radadapt: re-renders each pixel under the standard 20 % background from
// the local background the blurred image gives (CIECAM02 forward under the
// blurred luminance, inverse under Yb = 20).
// Usage: radadapt input.exr blur.exr output.exr
#include <cstdio>

#include "adapt.h"
#include "ciecam02.h"
#include "colour.h"
#include "prog.h"

static const char prog_name[] = "radadapt";

// Forward under the local background, inverse under the standard one.
static rgba_t adapt_pixel(const rgba_t &px, const adapt_conditions &k, const adapt_background &local,
                          const adapt_background &standard)
{
    double x, y, z, j, c, h;
    rgb_to_xyz(px.r, px.g, px.b, &x, &y, &z);
    adapt_forward(&j, &c, &h, 100.0 * x, 100.0 * y, 100.0 * z, k, local);
    adapt_inverse(&x, &y, &z, j, c, h, k, standard);
    rgba_t out;
    xyz_to_rgb(x / 100.0, y / 100.0, z / 100.0, &out.r, &out.g, &out.b);
    out.a = px.a;
    return out;
}

int main(int argc, char **argv)
{
    if (argc < 4) {
        fputs("Usage: radadapt input.exr blur.exr output.exr\n", stderr);
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

    const adapt_conditions k = adapt_conditions_new();
    const adapt_background standard = adapt_background_of(k, ciecam02_yb);
    prog_map2(prog_name, in.get(), blur.get(), out.get(), row.get(), "Correcting scanline", 10,
              [&](const rgba_t &px, const rgba_t &bpx) {
                  // A background of 0 would make the model divide by zero: a
                  // non-positive luminance takes the background of 1 % (a NaN
                  // one passes through unwarned).
                  double yl = rgb_luminance(bpx.r, bpx.g, bpx.b);
                  double yb = 100.0 * yl;
                  if (yl <= 0) {
                      fputs("warning\n", stderr);
                      yb = 1.0;
                  }
                  return adapt_pixel(px, k, adapt_background_of(k, yb), standard);
              });

    prog_done(prog_name);
    return prog_close(std::move(out), std::move(in), std::move(blur));
}
