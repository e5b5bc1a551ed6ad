// The stages radhybrid and radhybrid-inverse share: each cone response of
// the input meets a semi-saturation value taken from the same cone of a
// second image at the same position, sigma_C = (f' C2)^m. The two programs
// differ only in what they do with it: Respond(C, sigma_C) compresses
// (radhybrid) or restores (radhybrid-inverse). Both print under the name
// radhybrid; -a is accepted, clamped and reported but does not enter the
// mapping.
#ifndef HYBRID_H
#define HYBRID_H

#include <cmath>
#include <cstdio>

#include "colour.h"
#include "prog.h"
#include "receptor.h"

namespace hybrid {

constexpr char prog_name[] = "radhybrid";
constexpr char usage[] =
    "Usage: radhybrid [-f fval] [-m mval] [-a aval] input.exr chr.exr output.exr\n";

// Respond applied to each cone of px against the same cone of px2; the
// output keeps px's alpha.
template <double (*Respond)(double, double)>
rgba_t pixel(const rgba_t &px, const rgba_t &px2, const receptor_params &p)
{
    double l, m, s, l2, m2, s2;
    rgb_to_lms(px.r, px.g, px.b, &l, &m, &s);
    rgb_to_lms(px2.r, px2.g, px2.b, &l2, &m2, &s2);
    return lms_to_rgba(Respond(l, std::pow(p.f_prime * l2, p.m)),
                       Respond(m, std::pow(p.f_prime * m2, p.m)),
                       Respond(s, std::pow(p.f_prime * s2, p.m)), px.a);
}

// The command line both programs take.
inline prog_command command(const char *program, receptor_params *p)
{
    return receptor_command(prog_name, program, usage, "fma", 3, p, "a");
}

// The statistics stage: clamps and reports the options, then scans the
// first image. The statistics, and so the automatic m, come from the first
// image alone: a round trip through both programs needs the same -m on both
// command lines.
inline void settle(exrinput_t *in, receptor_params *p)
{
    receptor_clamp(p);
    fprintf(stderr, "%s: Using f=%.3f, m=%.3f, and a=%.3f\n", prog_name, p->f, p->m, p->a);
    receptor_stats st = receptor_scan(prog_name, in, 10);
    if (receptor_settle(p, st))
        fprintf(stderr, "%s: Calculated m value is %f\n", prog_name, p->m);
}

} // namespace hybrid

#endif
