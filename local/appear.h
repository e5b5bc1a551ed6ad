// The stages the appearance-model tone mappers share: the command line with
// its two usage texts, the option line, and the exponent k FL(m level)
// floored by l. Each program drives them with its own per-pixel operator;
// all print under the name radappear.
#ifndef APPEAR_H
#define APPEAR_H

#include "ciecam02.h"

struct appear_params {
    double m; // adaptation luminance scale: LA = m x the blurred pixel's level
    double c; // input scale, applied to R, G, B before conversion
    double k; // exponent gain
    double l; // exponent floor
};

// Checks the argument count and parses -m, -c, -k, -l into p (which holds
// the program's defaults). Returns the index of the first of the three
// operands, or 0 after printing a usage text: the long one for too few
// arguments or operands, the short one (after getopt's own message) for an
// unknown option or a missing value.
[[nodiscard]] int appear_parse(int argc, char **argv, appear_params *p);

// "m %f, c %f, k %f, l %f\n" on stderr.
void appear_print_params(const appear_params &p);

// The exponent for a blurred adaptation level: k FL(m level), or l when
// that is larger. NaN (from a negative m level) stays NaN.
inline double appear_gamma(const appear_params &p, double level)
{
    double e = p.k * ciecam02_fl(p.m * level);
    return p.l > e ? p.l : e;
}

#endif
