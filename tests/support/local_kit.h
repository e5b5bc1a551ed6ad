// Helpers the local operators' command-line tests share: an input and its
// blurred companion written side by side, a run over them, and the pixel
// values as they come back from half floats.
#ifndef LOCAL_KIT_H
#define LOCAL_KIT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "testkit.h"

namespace local_kit {

// A neutral pixel of value v, alpha a.
inline rgba_t grey(double v, double a = 1.0)
{
    return {v, v, v, a};
}

// The pixel as a fixture stores it: every channel half-rounded.
inline rgba_t as_half(const rgba_t &p)
{
    return {testkit::half_round(p.r), testkit::half_round(p.g), testkit::half_round(p.b),
            testkit::half_round(p.a)};
}

// The colour channels as the suite's writer stores them (testkit::written),
// alpha half-rounded.
inline rgba_t stored(rgba_t p)
{
    for (double *v : {&p.r, &p.g, &p.b})
        *v = testkit::written(*v);
    p.a = testkit::half_round(p.a);
    return p;
}

// Writes in.exr and blur.exr into dir, runs program on them with
// out.exr as the output and `extra` after the three paths (or `options`
// before them), and returns the result.
inline testkit::run_result run_pair(const testkit::temp_dir &dir, const std::string &program,
                                    const testkit::image &in, const testkit::image &blur,
                                    const std::vector<std::string> &extra = {},
                                    const std::vector<std::string> &options = {})
{
    testkit::write_exr(dir / "in.exr", in);
    testkit::write_exr(dir / "blur.exr", blur);
    std::vector<std::string> args = options;
    args.insert(args.end(), {dir / "in.exr", dir / "blur.exr", dir / "out.exr"});
    args.insert(args.end(), extra.begin(), extra.end());
    return testkit::run(program, args);
}

// Channel-wise comparison within ulps half-float steps of the expected
// pixel's largest colour channel (a channel near 0 of a bright pixel is
// held to the pixel's precision, not its own); alpha exactly.
inline void expect_rgb_near(const rgba_t &got, const rgba_t &want, double ulps,
                            const std::string &what)
{
    double scale = std::max({std::fabs(want.r), std::fabs(want.g), std::fabs(want.b)});
    const double g[3] = {got.r, got.g, got.b}, w[3] = {want.r, want.g, want.b};
    for (int c = 0; c < 3; c++)
        EXPECT_TRUE(testkit::within_ulps(g[c], w[c], ulps, scale))
            << what << ": " << "RGB"[c] << " " << g[c] << ", want " << w[c];
    EXPECT_EQ(got.a, want.a) << what;
}

} // namespace local_kit

#endif
