// radhybrid-inverse: undoes radhybrid, restoring each cone response from its
// compressed value and the same cone of the second image at the same
// position. Prints under the name radhybrid. -a is accepted, clamped and
// reported but does not enter the mapping.
// Usage: radhybrid [-f fval] [-m mval] [-a aval] input.exr chr.exr output.exr
#include <cmath>
#include <cstdio>

#include "colour.h"
#include "prog.h"
#include "receptor.h"

static const char prog_name[] = "radhybrid";
static const char usage[] =
    "Usage: radhybrid [-f fval] [-m mval] [-a aval] input.exr chr.exr output.exr\n";

// Restores each cone response C = sigma_C V / (1 - V) from the compressed
// response V of px, with sigma_C = (f' C2)^m and C2 the same cone of the
// second image's pixel px2; the output keeps px's alpha.
static rgba_t hybrid_inverse_pixel(const rgba_t &px, const rgba_t &px2, const receptor_params &p)
{
    double l, m, s, l2, m2, s2, y;
    receptor_cones(px, &l, &m, &s, &y);
    receptor_cones(px2, &l2, &m2, &s2, &y);
    return receptor_from_cones(receptor_inverse(l, std::pow(p.f_prime * l2, p.m)),
                               receptor_inverse(m, std::pow(p.f_prime * m2, p.m)),
                               receptor_inverse(s, std::pow(p.f_prime * s2, p.m)), px.a);
}

int main(int argc, char **argv)
{
    receptor_params p;
    int first = receptor_parse(argc, argv, "f:m:a:", 3, usage, &p);
    if (!first)
        return 1;
    exrinput_ptr in = prog_open_input(prog_name, argv[first]);
    if (!in)
        return 1;
    row_ptr row = prog_alloc_row(prog_name, exrinput_get_width(in.get()));
    if (!row)
        return 1;
    exrinput_ptr chr = prog_open_companion(prog_name, argv[first + 1], in.get());
    if (!chr)
        return 1;
    exroutput_ptr out = prog_create_output(prog_name, argv[first + 2], in.get());
    if (!out)
        return 1;
    receptor_clamp(&p);
    fprintf(stderr, "%s: Using f=%.3f, m=%.3f, and a=%.3f\n", prog_name, p.f, p.m, p.a);

    // The statistics, and so the automatic m, come from the compressed input
    // alone: a round trip needs the same -m on both command lines.
    receptor_stats st = receptor_scan(prog_name, in.get(), 10);
    if (receptor_settle(&p, st))
        fprintf(stderr, "%s: Calculated m value is %f\n", prog_name, p.m);
    prog_map2(prog_name, in.get(), chr.get(), out.get(), row.get(), "Correcting scanline", 10,
              [&](const rgba_t &px, const rgba_t &px2) { return hybrid_inverse_pixel(px, px2, p); });

    prog_done(prog_name);
    return prog_close(std::move(out), std::move(in), std::move(chr));
}
