// The pixel every row of the suite is made of: four doubles in linear light.
#ifndef RGBA_H
#define RGBA_H

#include <cmath>

// R, G, B in linear light (1.0 is the white), A as stored in the file.
struct rgba_t {
    double r, g, b, a;
};

// Whether R, G and B are all finite. A pixel that is not (renderers and
// exposure merges make them) takes no part in an image's statistics, so
// that one such pixel cannot spoil the result for all the others.
inline bool rgba_finite(const rgba_t &p)
{
    return std::isfinite(p.r) && std::isfinite(p.g) && std::isfinite(p.b);
}

#endif
