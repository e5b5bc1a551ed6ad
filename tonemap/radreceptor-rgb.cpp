// radreceptor-rgb: global photoreceptor tone mapping of R, G and B, each
// channel with its own semi-saturation value. Prints under the name radreceptor.
// Usage: radreceptor [-f fval] [-m mval] [-c cval] [-a aval] input.exr output.exr
#include <cmath>
#include <cstdio>

#include "colour.h"
#include "prog.h"
#include "receptor.h"
#include "heap.h"

static const char prog_name[] = "radreceptor";
static const char usage[] =
    "Usage: radreceptor [-f fval] [-m mval] [-c cval] [-a aval] input.exr output.exr\n";

// The image-wide adaptation level of one channel: its average blended with the
// average luminance by c. It is the same for every pixel, so it is computed once.
static double global_level(double channel_average, double average, const receptor_params &p)
{
    return p.c * channel_average + (1 - p.c) * average;
}

// Compresses one channel value v of a pixel of luminance y against
// sigma = (f' (a (c v + (1 - c) y) + (1 - a) global))^m.
static double channel_response(double v, double y, double global, const receptor_params &p)
{
    double local = p.c * v + (1 - p.c) * y;
    double level = p.a * local + (1 - p.a) * global;
    return receptor_response(v, std::pow(p.f_prime * level, p.m));
}

// Each of R, G and B compressed against its own sigma; alpha passes through.
static rgba_t receptor_rgb_pixel(const rgba_t &px, const receptor_params &p, const double global[3])
{
    double y = rgb_luminance(px.r, px.g, px.b);
    rgba_t out;
    out.r = channel_response(px.r, y, global[0], p);
    out.g = channel_response(px.g, y, global[1], p);
    out.b = channel_response(px.b, y, global[2], p);
    out.a = px.a;
    return out;
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    receptor_params p;
    const prog_command command = receptor_command(prog_name, "radreceptor-rgb", usage, "fmca", 2, &p);
    int first, status;
    if (!prog_parse(command, argc, argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], nullptr, argv[first + 1], &files))
        return 1;
    receptor_clamp(&p);
    fprintf(stderr, "%s: Using f=%.3f, m=%.3f, c=%.3f and a=%.3f\n", prog_name, p.f, p.m, p.c,
            p.a);

    receptor_stats st = receptor_scan(prog_name, files.in.get(), 10);
    receptor_settle(&p, st);
    const double global[3] = {global_level(st.sum_r / st.n, st.average, p),
                              global_level(st.sum_g / st.n, st.average, p),
                              global_level(st.sum_b / st.n, st.average, p)};
    prog_map(prog_name, files, "Correcting scanline", 10,
             [&](const rgba_t &px) { return receptor_rgb_pixel(px, p, global); });

    return prog_finish(prog_name, files);
}
