// radconereceptor: photoreceptor tone mapping of the cone responses L, M and
// S, each cone adapted to its own signal. -a is accepted, clamped and
// reported but does not enter the mapping.
// Usage: radconereceptor [-f fval] [-m mval] [-a aval] input.exr output.exr
#include <cmath>
#include <cstdio>

#include "colour.h"
#include "prog.h"
#include "receptor.h"
#include "heap.h"

static const char prog_name[] = "radconereceptor";
static const char usage[] =
    "Usage: radconereceptor [-f fval] [-m mval] [-a aval] input.exr output.exr\n";

// Compresses each cone response C against sigma_C = (f' C)^m, its own value;
// alpha passes through.
static rgba_t conereceptor_pixel(const rgba_t &px, const receptor_params &p)
{
    double l, m, s;
    rgb_to_lms(px.r, px.g, px.b, &l, &m, &s);
    return lms_to_rgba(receptor_response(l, std::pow(p.f_prime * l, p.m)),
                       receptor_response(m, std::pow(p.f_prime * m, p.m)),
                       receptor_response(s, std::pow(p.f_prime * s, p.m)), px.a);
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    receptor_params p;
    const prog_command command = receptor_command(prog_name, "radconereceptor", usage, "fma", 2, &p, "a");
    int first, status;
    if (!prog_parse(command, argc, argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], nullptr, argv[first + 1], &files))
        return 1;
    receptor_clamp(&p);
    fprintf(stderr, "%s: Using f=%.3f, m=%.3f, and a=%.3f\n", prog_name, p.f, p.m, p.a);

    receptor_stats st = receptor_scan(prog_name, files.in.get(), 1);
    if (receptor_settle(&p, st))
        fprintf(stderr, "%s: Calculated m value is %f\n", prog_name, p.m);
    prog_map(prog_name, files, "Correcting scanline", 10,
             [&](const rgba_t &px) { return conereceptor_pixel(px, p); });

    return prog_finish(prog_name, files);
}
