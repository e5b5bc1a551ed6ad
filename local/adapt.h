// The stages radadapt and radadapt-degree share: the CAT02 matrices of the
// CIECAM02 model (CIE 159:2004, to the digits the model publishes) in which
// radadapt-degree adapts to a local white, the target white's response, and
// for radadapt the CIECAM02 forward and inverse under the suite's fixed
// white, adapting luminance and surround with the background Yb free.
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

// The terms of the fixed white, LA and surround that every call of the
// model would otherwise derive afresh.
struct adapt_conditions {
    double d, fl, hundred_over_fl;
    double gain_r, gain_g, gain_b; // Yw D / Rw + (1 - D) and likewise
    double white_sum;              // Aw / Nbb
};

// The terms that follow from the background Yb.
struct adapt_background {
    double n, nbb, cz, inverse_cz, aw;
    double chroma; // (1.64 - 0.29^n)^0.73
    double p1;     // the chroma constant times Nc and Nbb
};

[[nodiscard]] adapt_conditions adapt_conditions_new();
[[nodiscard]] adapt_background adapt_background_of(const adapt_conditions &k, double yb);

// ciecam02_forward and ciecam02_inverse with the fixed white, LA and surround
// and the background v; bit-identical to them (tristimulus values 0-100).
void adapt_forward(double *j, double *c, double *h, double x, double y, double z,
                   const adapt_conditions &k, const adapt_background &v);
void adapt_inverse(double *x, double *y, double *z, double j, double c, double h,
                   const adapt_conditions &k, const adapt_background &v);

#endif
