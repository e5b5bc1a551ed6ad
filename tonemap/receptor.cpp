// Photoreceptor stages shared by radreceptor and its variants.
#include "receptor.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "colour.h"
#include "prog.h"

prog_command receptor_command(const char *prog, const char *program, const char *usage,
                              const char *letters, int operands, receptor_params *p,
                              const char *unused)
{
    const prog_option all[] = {
        {'f', &p->f, "brightness", "-8 ... 8"},
        {'m', &p->m, "contrast exponent, 0 for one computed from the image", "0 ... 1"},
        {'c', &p->c, "chromatic adaptation weight", "0 ... 1"},
        {'a', &p->a, "light adaptation: 1 to each pixel, 0 to the image's mean", "0 ... 1"},
    };
    prog_command command = {prog, program, usage, operands, operands};
    for (const char *l = letters; *l; l++)
        for (const prog_option &o : all)
            if (o.letter == *l) {
                command.options.push_back(o);
                if (strchr(unused, *l))
                    command.options.back().meaning = "accepted and reported, but not used";
            }
    return command;
}

static double clamp(double v, double lo, double hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

void receptor_clamp(receptor_params *p)
{
    p->f = clamp(p->f, -8, 8);
    p->m = clamp(p->m, 0, 1);
    p->c = clamp(p->c, 0, 1);
    p->a = clamp(p->a, 0, 1);
}

receptor_stats receptor_scan(const char *prog, exrinput_t *in, int every)
{
    receptor_stats st;
    prog_scan(prog, in, "Scanning", every, [&](const rgba_t *row, int) {
        int w = exrinput_get_width(in);
        for (int x = 0; x < w; x++) {
            if (!rgba_finite(row[x]))
                continue;
            st.n++;
            double y = rgb_luminance(row[x].r, row[x].g, row[x].b);
            st.sum += y;
            if (y > 0) {
                st.log_sum += std::log(y);
                if (y > st.max)
                    st.max = y;
                if (y < st.min)
                    st.min = y;
            }
            st.sum_r += row[x].r;
            st.sum_g += row[x].g;
            st.sum_b += row[x].b;
        }
    });
    st.average = st.sum / st.n;
    st.average_log = st.log_sum / st.n;
    fprintf(stderr, "\n%s: Luminance min is %7.3f, avg %7.3f, max %7.3f\n", prog, st.min,
            st.average, st.max);
    fprintf(stderr, "%s: Luminance log min is %7.3f, avg log %7.3f, log max %7.3f\n", prog,
            std::log(st.min), st.average_log, std::log(st.max));
    return st;
}

bool receptor_settle(receptor_params *p, const receptor_stats &st)
{
    p->f_prime = std::exp(-p->f);
    if (p->m != 0)
        return false;
    double log_max = std::log(st.max);
    double k = (log_max - st.average_log) / (log_max - std::log(st.min));
    p->m = 0.3 + 0.7 * std::pow(k, 1.4);
    return true;
}
