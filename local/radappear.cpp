// radappear: appearance-model tone mapping, the IPT intensity of the scaled
// input raised to k FL(m I) of the blurred pixel's IPT intensity I.
// Usage: radappear [-m mval] [-c cval] [-k kval] [-l lval] input.exr blur.exr output.exr
#include <cmath>
#include <cstdio>

#include "appear.h"
#include "colour.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radappear";

// Plain pow on I: a negative intensity gives NaN unless gamma is whole. The
// result keeps the input scale c.
static rgba_t appear_pixel(const rgba_t &px, const rgba_t &blur, const appear_params &p)
{
    double i, pp, t;
    rgb_to_ipt(blur.r, blur.g, blur.b, &i, &pp, &t);
    double gamma = appear_gamma(p, i);

    rgb_to_ipt(p.c * px.r, p.c * px.g, p.c * px.b, &i, &pp, &t);
    return ipt_to_rgba(std::pow(i, gamma), pp, t, px.a);
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    appear_params p;
    int first, status;
    if (!prog_parse(appear_command("radappear", &p), argc, argv, &first, &status))
        return status;
    appear_print_params(p);
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], argv[first + 1], argv[first + 2], &files))
        return 1;

    prog_map2(prog_name, files, "Correcting scanline", 10,
              [&](const rgba_t &px, const rgba_t &bpx) { return appear_pixel(px, bpx, p); });

    return prog_finish(prog_name, files);
}
