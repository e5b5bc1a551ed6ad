// CIECAM02 forward and inverse (CIE 159:2004, with the matrices of the
// published model to the digits listed below).
#include "ciecam02.h"

#include "colour.h"

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

// Post-adaptation compression of one cone response; a negative response
// gives NaN, as the model has no sign handling here.
double compress(double fl, double v)
{
    double p = std::pow(fl * v / 100.0, 0.42);
    return 400.0 * p / (p + 27.13) + 0.1;
}

// Inverse of compress for a compressed response less 0.1; the sign is lost.
double decompress(double hundred_over_fl, double u)
{
    double v = std::fabs(u);
    return hundred_over_fl * std::pow(27.13 * v / (400.0 - v), 2.380952380952381);
}

} // namespace

double ciecam02_white_response(double xw, double yw, double zw, double d, double fl, double nbb)
{
    double rw, gw, bw;
    ciecam02_cat02(xw, yw, zw, &rw, &gw, &bw);
    double rcw = rw * (yw * d / rw + (1.0 - d));
    double gcw = gw * (yw * d / gw + (1.0 - d));
    double bcw = bw * (yw * d / bw + (1.0 - d));
    double rp, gp, bp;
    hpe_from_cat02(rcw, gcw, bcw, &rp, &gp, &bp);
    return (2.0 * compress(fl, rp) + compress(fl, gp) + 0.05 * compress(fl, bp) - 0.305) * nbb;
}

ciecam02_conditions ciecam02_prepare(double xw, double yw, double zw, double yb, double la,
                                     double f, double c, double nc)
{
    ciecam02_conditions v;
    v.yw = yw, v.c = c, v.nc = nc;
    v.d = f * (1.0 - 0.2777777777777778 * std::exp((-la - 42.0) / 92.0));
    v.fl = ciecam02_fl(la);
    v.hundred_over_fl = 100.0 / v.fl;
    ciecam02_cat02(xw, yw, zw, &v.rw, &v.gw, &v.bw);
    v.gain_r = yw * v.d / v.rw + (1.0 - v.d);
    v.gain_g = yw * v.d / v.gw + (1.0 - v.d);
    v.gain_b = yw * v.d / v.bw + (1.0 - v.d);
    double rp, gp, bp;
    hpe_from_cat02(v.rw * v.gain_r, v.gw * v.gain_g, v.bw * v.gain_b, &rp, &gp, &bp);
    v.white_sum = 2.0 * compress(v.fl, rp) + compress(v.fl, gp) + 0.05 * compress(v.fl, bp) - 0.305;
    ciecam02_set_background(&v, yb);
    return v;
}

void ciecam02_set_background(ciecam02_conditions *v, double yb)
{
    v->n = yb / v->yw;
    v->nbb = 0.725 * std::pow(1.0 / v->n, 0.2);
    v->z = 1.48 + std::sqrt(v->n);
    v->cz = v->c * v->z;
    v->aw = v->white_sum * v->nbb;
    v->chroma_scale = std::pow(1.64 - std::pow(0.29, v->n), 0.73);
    // The published 50000/13 divided by 4, folding in the eccentricity's 1/4.
    v->t_scale = 961.5384615384615 * v->nc * v->nbb;
}

void ciecam02_forward(double *j, double *c, double *h, double x, double y, double z,
                      double xw, double yw, double zw, double yb, double la,
                      double f, double cc, double nc)
{
    ciecam02_forward_prepared(j, c, h, x, y, z, ciecam02_prepare(xw, yw, zw, yb, la, f, cc, nc));
}

void ciecam02_inverse(double *x, double *y, double *z, double j, double c, double h,
                      double xw, double yw, double zw, double yb, double la,
                      double f, double cc, double nc)
{
    ciecam02_inverse_prepared(x, y, z, j, c, h, ciecam02_prepare(xw, yw, zw, yb, la, f, cc, nc));
}

void ciecam02_forward_prepared(double *j, double *c, double *h, double x, double y, double z,
                               const ciecam02_conditions &v)
{
    double r, g, b;
    ciecam02_cat02(x, y, z, &r, &g, &b);
    double rc = r * v.gain_r;
    double gc = g * v.gain_g;
    double bc = b * v.gain_b;

    double rp, gp, bp;
    hpe_from_cat02(rc, gc, bc, &rp, &gp, &bp);
    double ra = compress(v.fl, rp);
    double ga = compress(v.fl, gp);
    double ba = compress(v.fl, bp);

    double a = ra - 12.0 * ga / 11.0 + ba / 11.0;
    double bb = (ra + ga - 2.0 * ba) / 9.0;

    double hue = std::atan2(bb, a) * 57.29577951308232;
    if (hue < 0)
        hue = hue + 360.0;

    double achromatic = (2.0 * ra + ga + 0.05 * ba - 0.305) * v.nbb;
    double lightness = 100.0 * std::pow(achromatic / v.aw, v.cz);

    double e = std::cos(hue * M_PI / 180.0 + 2.0) + 3.8;
    double t = v.t_scale * e * std::sqrt(a * a + bb * bb) / (ra + ga + 1.05 * ba);
    *j = lightness;
    *c = std::pow(t, 0.9) * std::sqrt(lightness / 100.0) * v.chroma_scale;
    *h = hue;
}

void ciecam02_inverse_prepared(double *x, double *y, double *z, double j, double c, double h,
                               const ciecam02_conditions &v)
{
    double hr = h * M_PI / 180.0;
    double p1 = v.t_scale * (std::cos(hr + 2.0) + 3.8);
    double achromatic = v.aw * std::pow(j / 100.0, 1.0 / v.cz);
    double t = std::pow(c / (v.chroma_scale * std::sqrt(j / 100.0)), 1.1111111111111112);
    double p2 = (achromatic / v.nbb + 0.305) * 0.32787;

    // The two constants are -(0.32145 - 0.63507 - 1.05 * 0.15681) and
    // -(0.20527 - 0.18603 - 1.05 * 4.49038), from the coefficients below.
    const double k1 = -(0.32145 - 0.63507 - 1.05 * 0.15681);
    const double k2 = -(0.20527 - 0.18603 - 1.05 * 4.49038);
    double s = std::sin(hr);
    double k = std::cos(hr);
    double a, b;
    if (std::fabs(s) >= std::fabs(k)) {
        b = 3.05 * p2 / (p1 / (t * s) + k1 * k / s + k2);
        a = b * k / s;
    } else {
        a = 3.05 * p2 / (p1 / (t * k) + k1 + k2 * s / k);
        b = a * s / k;
    }

    double ur = p2 + 0.32145 * a + 0.20527 * b - 0.1;
    double ug = p2 - 0.63507 * a - 0.18603 * b - 0.1;
    double ub = p2 - 0.15681 * a - 4.49038 * b - 0.1;

    double xp, yp, zp;
    hpe_inverse(decompress(v.hundred_over_fl, ur), decompress(v.hundred_over_fl, ug),
                decompress(v.hundred_over_fl, ub), &xp, &yp, &zp);

    double rc, gc, bc;
    ciecam02_cat02(xp, yp, zp, &rc, &gc, &bc);
    ciecam02_cat02_inverse(rc / v.gain_r, gc / v.gain_g, bc / v.gain_b, x, y, z);
}

const ciecam02_conditions &ciecam02_fixed()
{
    static const ciecam02_conditions fixed =
        ciecam02_prepare(ciecam02_white_x, ciecam02_white_y, ciecam02_white_z, ciecam02_yb,
                         ciecam02_la, ciecam02_f, ciecam02_c, ciecam02_nc);
    return fixed;
}

double srgb_lightness(double r, double g, double b)
{
    double x, y, z;
    rgb_to_xyz(r, g, b, &x, &y, &z);
    double j, c, h;
    ciecam02_forward_prepared(&j, &c, &h, x * 100.0, y * 100.0, z * 100.0, ciecam02_fixed());
    return j / 100.0;
}
