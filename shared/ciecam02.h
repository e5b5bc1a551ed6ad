// The CIECAM02 colour appearance model (CIE 159:2004), reduced to lightness J,
// chroma C and hue angle h, forward from XYZ and inverse back to XYZ.
// Tristimulus values are on a 0-100 scale here. Every call recomputes its
// viewing-condition terms, so callers may change them from pixel to pixel.
// Nothing is validated: out-of-domain values come back as NaN or infinity.
#ifndef CIECAM02_H
#define CIECAM02_H

#include <cmath>

// The suite's fixed viewing conditions: D65 white, a 20 % grey background,
// an adapting luminance of 318.31 cd/m2 and the average surround.
constexpr double ciecam02_white_x = 95.05;
constexpr double ciecam02_white_y = 100.0;
constexpr double ciecam02_white_z = 108.88;
constexpr double ciecam02_yb = 20.0;
constexpr double ciecam02_la = 318.31;
constexpr double ciecam02_f = 1.0;
constexpr double ciecam02_c = 0.69;
constexpr double ciecam02_nc = 1.0;

// Luminance-level adaptation factor FL of an adapting luminance LA (cd/m2).
inline double ciecam02_fl(double la)
{
    double x = 5.0 * la;
    double k = 1.0 / (x + 1.0);
    double k4 = (k * k) * (k * k);
    return 0.2 * k4 * x + 0.1 * (1.0 - k4) * (1.0 - k4) * std::pow(x, 1.0 / 3.0);
}

// CAT02 chromatic-adaptation matrix, XYZ to sharpened RGB, and its published
// inverse (to the digits the model lists, not recomputed).
inline void ciecam02_cat02(double x, double y, double z, double *r, double *g, double *b)
{
    *r = 0.7328 * x + 0.4296 * y - 0.1624 * z;
    *g = -0.7036 * x + 1.6975 * y + 0.0061 * z;
    *b = 0.0030 * x + 0.0136 * y + 0.9834 * z;
}

inline void ciecam02_cat02_inverse(double r, double g, double b, double *x, double *y, double *z)
{
    *x = 1.096124 * r - 0.278869 * g + 0.182745 * b;
    *y = 0.454369 * r + 0.473533 * g + 0.072098 * b;
    *z = -0.009628 * r - 0.005698 * g + 1.015326 * b;
}

// Achromatic response Aw of the adopted white.
double ciecam02_white_response(double xw, double yw, double zw, double d, double fl, double nbb);

// XYZ of a sample to J, C, h under the given white, background Yb, adapting
// luminance LA and surround F, c, Nc.
void ciecam02_forward(double *j, double *c, double *h, double x, double y, double z,
                      double xw, double yw, double zw, double yb, double la,
                      double f, double cc, double nc);

// J, C, h back to XYZ under the given conditions; reproduces the forward's
// input to about 1 part in 10^4 (the matrices are rounded).
void ciecam02_inverse(double *x, double *y, double *z, double j, double c, double h,
                      double xw, double yw, double zw, double yb, double la,
                      double f, double cc, double nc);

// The viewing-condition terms a forward or inverse call derives from its
// white, background, adapting luminance and surround. Computing them once
// for conditions that do not change gives results identical to the calls
// above, which derive them afresh every time.
struct ciecam02_conditions {
    // from the white, LA and surround
    double yw, c, nc, d, fl, hundred_over_fl;
    double rw, gw, bw;             // CAT02 response of the white
    double gain_r, gain_g, gain_b; // Yw D / Rw + (1 - D), and likewise
    double white_sum;              // Aw / Nbb
    // from the background Yb as well
    double n, nbb, z, cz, aw;
    double chroma_scale; // (1.64 - 0.29^n)^0.73
    double t_scale;      // 50000/13 / 4 x Nc x Nbb
};

ciecam02_conditions ciecam02_prepare(double xw, double yw, double zw, double yb, double la,
                                     double f, double c, double nc);

// Re-derives the terms that depend on the background Yb, for a caller whose
// background changes from pixel to pixel while the rest stays.
void ciecam02_set_background(ciecam02_conditions *v, double yb);
void ciecam02_forward_prepared(double *j, double *c, double *h, double x, double y, double z,
                               const ciecam02_conditions &v);
void ciecam02_inverse_prepared(double *x, double *y, double *z, double j, double c, double h,
                               const ciecam02_conditions &v);

// The suite's fixed viewing conditions, prepared once.
const ciecam02_conditions &ciecam02_fixed();

// Lightness J / 100 of a linear RGB colour (1.0 = white) under the fixed
// viewing conditions.
double srgb_lightness(double r, double g, double b);

#endif
