// radappear-cone: appearance-model tone mapping, each cone response of the
// scaled input raised (sign kept) to k FL(m Y) of the blurred luminance Y.
// Usage: radappear-cone [-m mval] [-c cval] [-k kval] [-l lval] input.exr blur.exr output.exr
#include <cstdio>

#include "appear.h"
#include "colour.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radappear";

// The result keeps the input scale c.
static rgba_t appear_cone_pixel(const rgba_t &px, const rgba_t &blur, const appear_params &p)
{
    double gamma = appear_gamma(p, rgb_luminance(blur.r, blur.g, blur.b));
    double l, m, s;
    rgb_to_lms(p.c * px.r, p.c * px.g, p.c * px.b, &l, &m, &s);
    return lms_to_rgba(signed_pow(l, gamma), signed_pow(m, gamma), signed_pow(s, gamma), px.a);
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    appear_params p;
    p.m = 100.0; // the cone variant's own defaults
    p.l = 0.0001;
    int first, status;
    if (!prog_parse(appear_command("radappear-cone", &p), argc, argv, &first, &status))
        return status;
    appear_print_params(p);
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], argv[first + 1], argv[first + 2], &files))
        return 1;

    prog_map2(prog_name, files, "Correcting scanline", 10,
              [&](const rgba_t &px, const rgba_t &bpx) { return appear_cone_pixel(px, bpx, p); });

    return prog_finish(prog_name, files);
}
