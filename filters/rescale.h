// The stages radrescale and radrescale-max share: the scanning pass over the
// colour values and the three per-pixel mappings. Each program's main drives
// them with its own usage text and messages; the writing pass is prog_map.
#ifndef RESCALE_H
#define RESCALE_H

#include <cfloat>
#include <cmath>

#include "exrinput.h"
#include "rgba.h"

// Extremes of R, G and B over the pixels of an image whose colour is finite
// (rgba_finite); alpha takes no part.
struct rescale_range {
    double min = DBL_MAX;  // smallest positive value
    double max = 0;                       // largest value, at least 0
    double max_any = -DBL_MAX; // largest value of any sign
};

// Reads every row with "<prog>: Scanning <y>\r" every tenth row.
rescale_range rescale_scan(const char *prog, exrinput_t *in);

// A stretched or shifted value that is negative, not a number or infinite
// becomes 0.
inline double rescale_limit(double v)
{
    return v < 0 || std::isnan(v) || std::fabs(v) > DBL_MAX ? 0 : v;
}

// Maps [min, max] onto [0, 1]; a zero-width range gives 0/0 or infinity,
// hence 0.
inline rgba_t rescale_stretch_pixel(const rgba_t &px, double min, double max)
{
    double range = max - min;
    return {rescale_limit((px.r - min) / range), rescale_limit((px.g - min) / range),
            rescale_limit((px.b - min) / range), px.a};
}

// Subtracts min without scaling.
inline rgba_t rescale_offset_pixel(const rgba_t &px, double min)
{
    return {rescale_limit(px.r - min), rescale_limit(px.g - min), rescale_limit(px.b - min),
            px.a};
}

// Divides by max; the writer stores what cannot be stored as 0.
inline rgba_t rescale_divide_pixel(const rgba_t &px, double max)
{
    return {px.r / max, px.g / max, px.b / max, px.a};
}

#endif
