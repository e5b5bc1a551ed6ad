// The stages the appearance-model tone mappers share: the command line with
// its two usage texts, the option line, and the exponent k FL(m level)
// floored by l. Each program drives them with its own per-pixel operator;
// all print under the name radappear.
#ifndef APPEAR_H
#define APPEAR_H

#include "ciecam02.h"
#include "prog.h"

// The options, with the defaults of radappear and radappear-sigmoid.
struct appear_params {
    double m = 1000.0;              // adaptation luminance scale: LA = m x the blurred level
    double c = 100.0;               // input scale, applied to R, G, B before conversion
    double k = 0.5882352941176471;  // exponent gain, 1 / 1.7
    double l = 0.3;                 // exponent floor
};

// The command line: three operands and -m, -c, -k, -l read into p (which
// holds the program's defaults). The long usage text answers too few
// arguments or operands, the short one (after getopt's own message) an
// unknown option or a missing value.
prog_command appear_command(const char *program, appear_params *p);

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
