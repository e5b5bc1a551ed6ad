// radreceptor: global photoreceptor tone mapping of IPT intensity.
// Usage: radreceptor [-f fval] [-m mval] [-a aval] input.exr output.exr
#include <cstdio>

#include "colour.h"
#include "prog.h"
#include "receptor.h"
#include "heap.h"

static const char prog_name[] = "radreceptor";
static const char usage[] =
    "Usage: radreceptor [-f fval] [-m mval] [-a aval] input.exr output.exr\n";

// Compresses the pixel's IPT intensity against sigma = (f' (a Y + (1 - a) avg))^m;
// P and T pass through.
static rgba_t receptor_pixel(const rgba_t &px, const receptor_params &p, double average)
{
    double i, pp, t;
    rgb_to_ipt(px.r, px.g, px.b, &i, &pp, &t);
    double y = rgb_luminance(px.r, px.g, px.b);
    double sigma = std::pow(p.f_prime * (p.a * y + (1 - p.a) * average), p.m);
    return ipt_to_rgba(receptor_response(i, sigma), pp, t, px.a);
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    receptor_params p;
    const prog_command command = receptor_command(prog_name, "radreceptor", usage, "fma", 2, &p);
    int first, status;
    if (!prog_parse(command, argc, argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], nullptr, argv[first + 1], &files))
        return 1;
    receptor_clamp(&p);
    fprintf(stderr, "%s: Using f=%.3f, m=%.3f, and a=%.3f\n", prog_name, p.f, p.m, p.a);

    receptor_stats st = receptor_scan(prog_name, files.in.get(), 10);
    receptor_settle(&p, st);
    prog_map(prog_name, files, "Correcting scanline", 10,
             [&](const rgba_t &px) { return receptor_pixel(px, p, st.average); });

    return prog_finish(prog_name, files);
}
