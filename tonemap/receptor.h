// The stages the photoreceptor tone mappers share: options, the luminance
// statistics pass and the automatic contrast exponent. Each program drives
// them from its main with its own messages and per-pixel operator; the
// correcting pass is prog_map (or prog_map2 with a second image).
#ifndef RECEPTOR_H
#define RECEPTOR_H

#include <cfloat>

#include "colour.h"
#include "exrinput.h"
#include "prog.h"

// Option values; f_prime is set by receptor_settle.
struct receptor_params {
    double f = 0; // brightness, -8 ... 8
    double m = 0; // contrast exponent, 0 ... 1; 0 asks for the automatic value
    double c = 0; // chromatic adaptation weight, 0 ... 1
    double a = 1; // light adaptation weight, 0 ... 1
    double f_prime = 1;
};

// Luminance statistics of one image, and its channel sums, over the pixels
// whose colour is finite (rgba_finite); n counts them.
struct receptor_stats {
    double sum = 0;
    double log_sum = 0;
    double max = -DBL_MAX; // largest positive luminance
    double min = DBL_MAX;  // smallest positive luminance
    double sum_r = 0, sum_g = 0, sum_b = 0;
    double n = 0;
    double average = 0;     // sum / n
    double average_log = 0; // log_sum / n: non-positive pixels count as 0
};

// The command line of a photoreceptor mapper: `operands` operands, and the
// options among f, m, c and a that letters names, read into p; those among
// unused are accepted and reported but do not enter the mapping.
prog_command receptor_command(const char *prog, const char *program, const char *usage,
                              const char *letters, int operands, receptor_params *p,
                              const char *unused = "");

// Clamps f, m, c and a to their ranges, in that order.
void receptor_clamp(receptor_params *p);

// The statistics pass over every row, with "<prog>: Scanning <y>\r" every
// `every` rows, then the two luminance lines.
receptor_stats receptor_scan(const char *prog, exrinput_t *in, int every);

// Sets f' = exp(-f) and, when m is 0, the automatic contrast
// m = 0.3 + 0.7 k^1.4 with k = (ln max - avg log) / (ln max - ln min).
// Returns true when m was computed.
bool receptor_settle(receptor_params *p, const receptor_stats &st);

// The photoreceptor response V = I / (I + sigma).
inline double receptor_response(double i, double sigma)
{
    return i / (i + sigma);
}

// The response solved for the signal: I = sigma V / (1 - V). A response of
// exactly 1 gives an infinite signal, one above 1 a negative signal.
inline double receptor_inverse(double v, double sigma)
{
    return sigma * v / (1 - v);
}

#endif
