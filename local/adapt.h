// The stages radadapt and radadapt-degree share: the CAT02 matrices of the
// CIECAM02 model (CIE 159:2004, to the digits the model publishes) in which
// radadapt-degree adapts to a local white, and the target white's response.
#ifndef ADAPT_H
#define ADAPT_H

// XYZ to CAT02 sharpened RGB.
inline void adapt_cat02(double x, double y, double z, double *r, double *g, double *b)
{
    *r = 0.7328 * x + 0.4296 * y - 0.1624 * z;
    *g = -0.7036 * x + 1.6975 * y + 0.0061 * z;
    *b = 0.0030 * x + 0.0136 * y + 0.9834 * z;
}

// CAT02 sharpened RGB back to XYZ (the published inverse, not recomputed).
inline void adapt_cat02_inverse(double r, double g, double b, double *x, double *y, double *z)
{
    *x = 1.096124 * r - 0.278869 * g + 0.182745 * b;
    *y = 0.454369 * r + 0.473533 * g + 0.072098 * b;
    *z = -0.009628 * r - 0.005698 * g + 1.015326 * b;
}

// CAT02 response of the target white (0.9505, 1.0, 1.0888).
constexpr double adapt_white_r = 0.94930528;
constexpr double adapt_white_g = 1.03536988;
constexpr double adapt_white_b = 1.08717742;

#endif
