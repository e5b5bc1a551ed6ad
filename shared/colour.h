// Colour-space conversions shared by the suite: linear Rec. 709 RGB, CIE XYZ,
// Hunt-Pointer-Estevez cone responses (LMS) and IPT. Pure inline functions on
// doubles; nothing is clamped, alpha is never involved.
#ifndef COLOUR_H
#define COLOUR_H

#include <cmath>

#include "rgba.h"

// RGB to XYZ: the sRGB matrix (IEC 61966-2-1) to four decimals, D65 white.
inline void rgb_to_xyz(double r, double g, double b, double *x, double *y, double *z)
{
    *x = 0.4124 * r + 0.3576 * g + 0.1805 * b;
    *y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    *z = 0.0193 * r + 0.1192 * g + 0.9505 * b;
}

// Luminance: the middle row of the sRGB matrix.
inline double rgb_luminance(double r, double g, double b)
{
    return 0.2126 * r + 0.7152 * g + 0.0722 * b;
}

// XYZ to RGB: the published sRGB inverse to four decimals, which is not the
// exact inverse of rgb_to_xyz (they agree to about 5e-5).
inline void xyz_to_rgb(double x, double y, double z, double *r, double *g, double *b)
{
    *r = 3.2406 * x - 1.5372 * y - 0.4986 * z;
    *g = -0.9689 * x + 1.8758 * y + 0.0415 * z;
    *b = 0.0557 * x - 0.204 * y + 1.057 * z;
}

// XYZ to cone responses: the Hunt-Pointer-Estevez matrix normalised to D65,
// as the IPT model defines it.
inline void xyz_to_lms(double x, double y, double z, double *l, double *m, double *s)
{
    *l = 0.4002 * x + 0.7075 * y - 0.0807 * z;
    *m = -0.228 * x + 1.15 * y + 0.0612 * z;
    *s = 0.9184 * z;
}

// Cone responses to XYZ: the published inverse of the matrix above, rounded
// to the digits the IPT model gives (not its exact inverse).
inline void lms_to_xyz(double l, double m, double s, double *x, double *y, double *z)
{
    *x = 1.85024 * l - 1.1383 * m + 0.23843 * s;
    *y = 0.36683 * l + 0.64388 * m - 0.01067 * s;
    *z = 1.08885 * s;
}

// x^e with the sign of x: x^e for x >= 0, -((-x)^e) below.
inline double signed_pow(double x, double e)
{
    return x < 0 ? -std::pow(-x, e) : std::pow(x, e);
}

// XYZ to IPT (Ebner and Fairchild): cone responses, a sign-preserving power
// of 0.43, then the opponent matrix.
inline void xyz_to_ipt(double *i, double *p, double *t, double x, double y, double z)
{
    double l, m, s;
    xyz_to_lms(x, y, z, &l, &m, &s);
    double lp = signed_pow(l, 0.43);
    double mp = signed_pow(m, 0.43);
    double sp = signed_pow(s, 0.43);
    *i = 0.4 * lp + 0.4 * mp + 0.2 * sp;
    *p = 4.455 * lp - 4.851 * mp + 0.396 * sp;
    *t = 0.8056 * lp + 0.3572 * mp - 1.1628 * sp;
}

// IPT to XYZ. The magnitude of each nonlinear cone response is raised to
// 1/0.43 and its sign is not put back, so a negative response comes back
// positive: the round trip is exact only for non-negative cone responses.
inline void ipt_to_xyz(double *x, double *y, double *z, double i, double p, double t)
{
    const double inv = 2.3255813953488373; // 1 / 0.43
    double lp = i + 0.097569 * p + 0.205226 * t;
    double mp = i - 0.113876 * p + 0.133217 * t;
    double sp = i + 0.032615 * p - 0.676887 * t;
    lms_to_xyz(std::pow(std::fabs(lp), inv), std::pow(std::fabs(mp), inv),
               std::pow(std::fabs(sp), inv), x, y, z);
}

// The transfer functions of the formats the converters read and write.

// sRGB (IEC 61966-2-1), encoded value to linear light. Values outside
// [0, 1] (a JPEG's colour matrix gives some) are clipped first.
inline double srgb_to_linear(double c)
{
    if (c < 0)
        return 0;
    if (c > 1)
        return 1;
    if (c <= 0.04045)
        return c / 12.92;
    return std::pow((c + 0.055) / 1.055, 2.4);
}

// sRGB from linear light, clipped to [0, 1] first; a value that is not a
// number gives 0, like a negative one.
inline double srgb_from_linear(double c)
{
    if (!(c >= 0))
        return 0;
    if (c > 1)
        return 1;
    if (c <= 0.0031308)
        return 12.92 * c;
    return 1.055 * std::pow(c, 0.4166666666666667) - 0.055;
}

// Rec. 709 (ITU-R BT.709), encoded value to linear light, clipped to
// [0, 1], with the exponent 2.2 on the power segment as the PPM import
// takes it (not 1 / 0.45).
inline double rec709_to_linear(double x)
{
    if (x < 0)
        return 0;
    if (x > 1)
        return 1;
    if (x <= 0.081)
        return x / 4.5;
    return std::pow((x + 0.099) / 1.099, 2.2);
}

// The round trips the operators make, one pixel at a time: a colour's cone
// responses or IPT coordinates, and the pixel that given ones make (with
// alpha a).

// RGB to XYZ to LMS.
inline void rgb_to_lms(double r, double g, double b, double *l, double *m, double *s)
{
    double x, y, z;
    rgb_to_xyz(r, g, b, &x, &y, &z);
    xyz_to_lms(x, y, z, l, m, s);
}

// LMS to XYZ to RGB.
inline rgba_t lms_to_rgba(double l, double m, double s, double a)
{
    double x, y, z;
    lms_to_xyz(l, m, s, &x, &y, &z);
    rgba_t out;
    xyz_to_rgb(x, y, z, &out.r, &out.g, &out.b);
    out.a = a;
    return out;
}

// RGB to XYZ to IPT.
inline void rgb_to_ipt(double r, double g, double b, double *i, double *p, double *t)
{
    double x, y, z;
    rgb_to_xyz(r, g, b, &x, &y, &z);
    xyz_to_ipt(i, p, t, x, y, z);
}

// IPT to XYZ to RGB.
inline rgba_t ipt_to_rgba(double i, double p, double t, double a)
{
    double x, y, z;
    ipt_to_xyz(&x, &y, &z, i, p, t);
    rgba_t out;
    xyz_to_rgb(x, y, z, &out.r, &out.g, &out.b);
    out.a = a;
    return out;
}

#endif
