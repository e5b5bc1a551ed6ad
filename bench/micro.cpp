// Microbenchmarks of the maths the per-pixel operators are made of: the
// libm calls, the colour-space round trips and the CIECAM02 model. A
// program's maths budget is the sum of the calls its operator must make.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "ciecam02.h"
#include "colour.h"

namespace {

// Inputs spread like an HDR image's values, cycled so the branch
// predictor and the libm fast paths see realistic variety.
const std::vector<double> &samples()
{
    static std::vector<double> v = [] {
        std::vector<double> s(4096);
        unsigned x = 12345;
        for (double &d : s) {
            x = x * 1103515245u + 12345u;
            d = std::exp((x >> 8) % 20000 / 1000.0 - 10.0); // e^-10 ... e^10
        }
        return s;
    }();
    return v;
}

template <class F>
void run(benchmark::State &state, F f)
{
    const std::vector<double> &s = samples();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f(s[i]));
        i = (i + 1) & 4095;
    }
    state.SetItemsProcessed(state.iterations());
}

// The same calls, each waiting for the last: its result, times 0 (which
// the compiler must still compute, for infinities and NaN), enters the next
// input. This is the cost of a call whose input comes from the call before,
// as in the operators' chains (an IPT inverse waits for the forward pows).
template <class F>
void chained(benchmark::State &state, F f)
{
    const std::vector<double> &s = samples();
    size_t i = 0;
    double last = 0;
    for (auto _ : state) {
        last = f(s[i] + last * 0.0);
        i = (i + 1) & 4095;
    }
    benchmark::DoNotOptimize(last);
    state.SetItemsProcessed(state.iterations());
}

void libm_pow_chained(benchmark::State &st)
{
    chained(st, [](double x) { return std::pow(x, 0.43); });
}
void libm_log_chained(benchmark::State &st) { chained(st, [](double x) { return std::log(x); }); }
void chain_step(benchmark::State &st) { chained(st, [](double x) { return x; }); }

void libm_pow(benchmark::State &st) { run(st, [](double x) { return std::pow(x, 0.43); }); }
void libm_pow_third(benchmark::State &st) { run(st, [](double x) { return std::pow(x, 1.0 / 3.0); }); }
void libm_exp(benchmark::State &st) { run(st, [](double x) { return std::exp(-x * 1e-3); }); }
void libm_log(benchmark::State &st) { run(st, [](double x) { return std::log(x); }); }
void libm_sqrt(benchmark::State &st) { run(st, [](double x) { return std::sqrt(x); }); }
void libm_cos(benchmark::State &st) { run(st, [](double x) { return std::cos(x); }); }
void libm_sin(benchmark::State &st) { run(st, [](double x) { return std::sin(x); }); }
void libm_atan2(benchmark::State &st) { run(st, [](double x) { return std::atan2(x, 0.7); }); }

void colour_rgb_xyz_rgb(benchmark::State &st)
{
    run(st, [](double v) {
        double x, y, z, r, g, b;
        rgb_to_xyz(v, 0.5 * v, 0.25, &x, &y, &z);
        xyz_to_rgb(x, y, z, &r, &g, &b);
        return r + g + b;
    });
}

void colour_ipt_round_trip(benchmark::State &st)
{
    run(st, [](double v) {
        double i, p, t, x, y, z;
        xyz_to_ipt(&i, &p, &t, v, 0.9 * v, 0.5 * v);
        ipt_to_xyz(&x, &y, &z, i, p, t);
        return x + y + z;
    });
}

void ciecam02_forward_call(benchmark::State &st)
{
    run(st, [](double v) {
        double j, c, h;
        ciecam02_forward(&j, &c, &h, 40 * v, 42 * v, 30 * v, ciecam02_white_x, ciecam02_white_y,
                         ciecam02_white_z, ciecam02_yb, ciecam02_la, ciecam02_f, ciecam02_c,
                         ciecam02_nc);
        return j + c + h;
    });
}

void ciecam02_inverse_call(benchmark::State &st)
{
    run(st, [](double v) {
        double x, y, z;
        ciecam02_inverse(&x, &y, &z, 50, 10 + v * 1e-4, 120, ciecam02_white_x, ciecam02_white_y,
                         ciecam02_white_z, ciecam02_yb, ciecam02_la, ciecam02_f, ciecam02_c,
                         ciecam02_nc);
        return x + y + z;
    });
}

// The forms the programs call: the fixed conditions' terms derived once.
void ciecam02_forward_prepared_call(benchmark::State &st)
{
    const ciecam02_conditions &v = ciecam02_fixed();
    run(st, [&](double s) {
        double j, c, h;
        ciecam02_forward_prepared(&j, &c, &h, 40 * s, 42 * s, 30 * s, v);
        return j + c + h;
    });
}

void ciecam02_inverse_prepared_call(benchmark::State &st)
{
    const ciecam02_conditions &v = ciecam02_fixed();
    run(st, [&](double s) {
        double x, y, z;
        ciecam02_inverse_prepared(&x, &y, &z, 50, 10 + s * 1e-4, 120, v);
        return x + y + z;
    });
}

// radadapt re-derives the background terms for every pixel.
void ciecam02_set_background_call(benchmark::State &st)
{
    ciecam02_conditions v = ciecam02_fixed();
    run(st, [&](double s) {
        ciecam02_set_background(&v, 1 + s);
        return v.aw;
    });
}

void ciecam02_fl_call(benchmark::State &st) { run(st, [](double v) { return ciecam02_fl(v); }); }
void srgb_lightness_call(benchmark::State &st) { run(st, [](double v) { return srgb_lightness(v, v, v); }); }

} // namespace

BENCHMARK(libm_pow);
BENCHMARK(libm_pow_chained);
BENCHMARK(libm_log_chained);
BENCHMARK(chain_step);
BENCHMARK(libm_pow_third);
BENCHMARK(libm_exp);
BENCHMARK(libm_log);
BENCHMARK(libm_sqrt);
BENCHMARK(libm_cos);
BENCHMARK(libm_sin);
BENCHMARK(libm_atan2);
BENCHMARK(colour_rgb_xyz_rgb);
BENCHMARK(colour_ipt_round_trip);
BENCHMARK(ciecam02_fl_call);
BENCHMARK(ciecam02_forward_call);
BENCHMARK(ciecam02_inverse_call);
BENCHMARK(ciecam02_forward_prepared_call);
BENCHMARK(ciecam02_inverse_prepared_call);
BENCHMARK(ciecam02_set_background_call);
BENCHMARK(srgb_lightness_call);

BENCHMARK_MAIN();
