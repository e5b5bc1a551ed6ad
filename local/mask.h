// The masking stage radmask and its variants share: the exponent a blurred
// pixel's mask value gives, and that exponent applied to R, G and B.
#ifndef MASK_H
#define MASK_H

#include <cmath>

#include "rgba.h"

// gamma = 2^(2 (0.5 - (1 - m))), evaluated in that order: 1 at m = 0.5,
// 2 at m = 1, 0.5 at m = 0, above 2 for HDR neighbourhoods (m > 1).
inline double mask_gamma(double m)
{
    double p = 2.0 * (0.5 - (1.0 - m));
    return std::pow(2.0, p);
}

// Each of R, G, B raised to gamma with plain pow: a negative channel gives
// NaN unless gamma is a whole number. Alpha is kept.
inline rgba_t mask_rgb(const rgba_t &px, double gamma)
{
    return {std::pow(px.r, gamma), std::pow(px.g, gamma), std::pow(px.b, gamma), px.a};
}

#endif
