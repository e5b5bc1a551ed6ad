// CIECAM02 forward and inverse for radadapt, with the terms of the fixed
// white, adapting luminance and surround derived once. The arithmetic is
// that of shared/ciecam02.cpp operation for operation, so the results are
// bit-identical to ciecam02_forward and ciecam02_inverse.
#include "adapt.h"

#include <cmath>

#include "ciecam02.h"

namespace {

// M_HPE times the CAT02 inverse: adapted RGB to Hunt-Pointer-Estevez cones.
void hpe_from_cat02(double r, double g, double b, double *rp, double *gp, double *bp)
{
    *rp = 0.7409792 * r + 0.218025 * g + 0.0410058 * b;
    *gp = 0.2853532 * r + 0.6242014 * g + 0.0904454 * b;
    *bp = -0.009628 * r - 0.005698 * g + 1.015326 * b;
}

void hpe_inverse(double rp, double gp, double bp, double *x, double *y, double *z)
{
    *x = 1.9102 * rp - 1.11212 * gp + 0.20191 * bp;
    *y = 0.37095 * rp + 0.62905 * gp - 0.00001 * bp;
    *z = bp;
}

double compress(double fl, double v)
{
    double p = std::pow(fl * v / 100.0, 0.42);
    return 400.0 * p / (p + 27.13) + 0.1;
}

} // namespace

adapt_conditions adapt_conditions_new()
{
    const double yw = ciecam02_white_y;
    adapt_conditions k;
    k.d = ciecam02_f * (1.0 - 0.2777777777777778 * std::exp((-ciecam02_la - 42.0) / 92.0));
    k.fl = ciecam02_fl(ciecam02_la);
    k.hundred_over_fl = 100.0 / k.fl;
    double rw, gw, bw;
    adapt_cat02(ciecam02_white_x, yw, ciecam02_white_z, &rw, &gw, &bw);
    k.gain_r = yw * k.d / rw + (1.0 - k.d);
    k.gain_g = yw * k.d / gw + (1.0 - k.d);
    k.gain_b = yw * k.d / bw + (1.0 - k.d);
    double rp, gp, bp;
    hpe_from_cat02(rw * k.gain_r, gw * k.gain_g, bw * k.gain_b, &rp, &gp, &bp);
    k.white_sum = 2.0 * compress(k.fl, rp) + compress(k.fl, gp) + 0.05 * compress(k.fl, bp) - 0.305;
    return k;
}

adapt_background adapt_background_of(const adapt_conditions &k, double yb)
{
    adapt_background v;
    v.n = yb / ciecam02_white_y;
    v.nbb = 0.725 * std::pow(1.0 / v.n, 0.2);
    v.cz = ciecam02_c * (1.48 + std::sqrt(v.n));
    v.inverse_cz = 1.0 / v.cz;
    v.aw = k.white_sum * v.nbb;
    v.chroma = std::pow(1.64 - std::pow(0.29, v.n), 0.73);
    v.p1 = 961.5384615384615 * ciecam02_nc * v.nbb;
    return v;
}

void adapt_forward(double *j, double *c, double *h, double x, double y, double z,
                   const adapt_conditions &k, const adapt_background &v)
{
    double r, g, b;
    adapt_cat02(x, y, z, &r, &g, &b);
    double rp, gp, bp;
    hpe_from_cat02(r * k.gain_r, g * k.gain_g, b * k.gain_b, &rp, &gp, &bp);
    double ra = compress(k.fl, rp);
    double ga = compress(k.fl, gp);
    double ba = compress(k.fl, bp);

    double a = ra - 12.0 * ga / 11.0 + ba / 11.0;
    double bb = (ra + ga - 2.0 * ba) / 9.0;
    double hue = std::atan2(bb, a) * 57.29577951308232;
    if (hue < 0)
        hue = hue + 360.0;

    double achromatic = (2.0 * ra + ga + 0.05 * ba - 0.305) * v.nbb;
    double lightness = 100.0 * std::pow(achromatic / v.aw, v.cz);
    double e = std::cos(hue * M_PI / 180.0 + 2.0) + 3.8;
    double t = v.p1 * e * std::sqrt(a * a + bb * bb) / (ra + ga + 1.05 * ba);
    *j = lightness;
    *c = std::pow(t, 0.9) * std::sqrt(lightness / 100.0) * v.chroma;
    *h = hue;
}

void adapt_inverse(double *x, double *y, double *z, double j, double c, double h,
                   const adapt_conditions &k, const adapt_background &v)
{
    double hr = h * M_PI / 180.0;
    double p1 = v.p1 * (std::cos(hr + 2.0) + 3.8);
    double achromatic = v.aw * std::pow(j / 100.0, v.inverse_cz);
    double t = std::pow(c / (v.chroma * std::sqrt(j / 100.0)), 1.1111111111111112);
    double p2 = (achromatic / v.nbb + 0.305) * 0.32787;

    const double k1 = -(0.32145 - 0.63507 - 1.05 * 0.15681);
    const double k2 = -(0.20527 - 0.18603 - 1.05 * 4.49038);
    double s = std::sin(hr);
    double co = std::cos(hr);
    double a, b;
    if (std::fabs(s) >= std::fabs(co)) {
        b = 3.05 * p2 / (p1 / (t * s) + k1 * co / s + k2);
        a = b * co / s;
    } else {
        a = 3.05 * p2 / (p1 / (t * co) + k1 + k2 * s / co);
        b = a * s / co;
    }

    // Decompression from the magnitude: the sign of each response is lost.
    double u[3] = {p2 + 0.32145 * a + 0.20527 * b - 0.1, p2 - 0.63507 * a - 0.18603 * b - 0.1,
                   p2 - 0.15681 * a - 4.49038 * b - 0.1};
    double cone[3];
    for (int i = 0; i < 3; i++) {
        double m = std::fabs(u[i]);
        cone[i] = k.hundred_over_fl * std::pow(27.13 * m / (400.0 - m), 2.380952380952381);
    }
    double xp, yp, zp;
    hpe_inverse(cone[0], cone[1], cone[2], &xp, &yp, &zp);
    double rc, gc, bc;
    adapt_cat02(xp, yp, zp, &rc, &gc, &bc);
    adapt_cat02_inverse(rc / k.gain_r, gc / k.gain_g, bc / k.gain_b, x, y, z);
}
