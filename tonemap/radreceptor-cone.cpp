// radreceptor-cone: global photoreceptor tone mapping of the cone responses
// L, M and S against one luminance-based semi-saturation value. Prints under
// the name radreceptor. -c is accepted, clamped and reported but does not
// enter the mapping.
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

// Compresses L, M and S against sigma = (f' (a Y + (1 - a) avg))^m, one value
// for the three cones; alpha passes through.
static rgba_t receptor_cone_pixel(const rgba_t &px, const receptor_params &p, double average)
{
    double l, m, s;
    rgb_to_lms(px.r, px.g, px.b, &l, &m, &s);
    double y = rgb_luminance(px.r, px.g, px.b);
    double sigma = std::pow(p.f_prime * (p.a * y + (1 - p.a) * average), p.m);
    return lms_to_rgba(receptor_response(l, sigma), receptor_response(m, sigma),
                       receptor_response(s, sigma), px.a);
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    receptor_params p;
    const prog_command command = receptor_command(prog_name, "radreceptor-cone", usage, "fmca", 2, &p, "c");
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
    prog_map(prog_name, files, "Correcting scanline", 10,
             [&](const rgba_t &px) { return receptor_cone_pixel(px, p, st.average); });

    return prog_finish(prog_name, files);
}
