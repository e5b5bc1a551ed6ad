// radmask-modes: nonlinear masking with a choice of mask source (test:
// 0 luminance, 1 IPT intensity, otherwise CIECAM02 lightness of the blurred
// pixel) and of target (test2: 0 R, G, B, 1 IPT intensity, otherwise
// CIECAM02 lightness J).
// Usage: radmask-modes input.exr blur.exr output.exr test test2
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "ciecam02.h"
#include "colour.h"
#include "mask.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radmask";

static double ipt_intensity(double r, double g, double b)
{
    double i, p, t;
    rgb_to_ipt(r, g, b, &i, &p, &t);
    return i;
}

static double mask_source(const rgba_t &blur, int test)
{
    if (test == 0)
        return rgb_luminance(blur.r, blur.g, blur.b);
    if (test == 1)
        return ipt_intensity(blur.r, blur.g, blur.b);
    return srgb_lightness(blur.r, blur.g, blur.b);
}

// IPT intensity raised with plain pow; ipt_to_xyz drops the signs of the
// nonlinear cone responses.
static rgba_t mask_ipt(const rgba_t &px, double gamma)
{
    double i, p, t;
    rgb_to_ipt(px.r, px.g, px.b, &i, &p, &t);
    return ipt_to_rgba(std::pow(i, gamma), p, t, px.a);
}

// CIECAM02 lightness raised as J/100 under the fixed viewing conditions;
// chroma and hue are kept. The conditions' terms are derived once, not per
// pixel: the results are the same as deriving them on every call.
static rgba_t mask_lightness(const rgba_t &px, double gamma)
{
    const ciecam02_conditions &fixed = ciecam02_fixed();
    double x, y, z, j, c, h;
    rgb_to_xyz(px.r, px.g, px.b, &x, &y, &z);
    ciecam02_forward_prepared(&j, &c, &h, 100.0 * x, 100.0 * y, 100.0 * z, fixed);
    ciecam02_inverse_prepared(&x, &y, &z, 100.0 * std::pow(j / 100.0, gamma), c, h, fixed);
    rgba_t out;
    xyz_to_rgb(x / 100.0, y / 100.0, z / 100.0, &out.r, &out.g, &out.b);
    out.a = px.a;
    return out;
}

static rgba_t mask_modes_pixel(const rgba_t &px, const rgba_t &blur, int test, int test2)
{
    double gamma = mask_gamma(mask_source(blur, test));
    if (test2 == 0)
        return mask_rgb(px, gamma);
    if (test2 == 1)
        return mask_ipt(px, gamma);
    return mask_lightness(px, gamma);
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radmask-modes", "Usage: radmask input.exr blur.exr output.exr test test2\n", 5}, argc, argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], argv[first + 1], argv[first + 2], &files))
        return 1;
    int test = atoi(argv[first + 3]);
    int test2 = atoi(argv[first + 4]);
    fprintf(stderr, "test %d\n", test);
    fprintf(stderr, "test2 %d\n", test2);

    prog_map2(prog_name, files, "Correcting scanline", 10,
              [&](const rgba_t &px, const rgba_t &bpx) { return mask_modes_pixel(px, bpx, test, test2); });

    return prog_finish(prog_name, files);
}
