// radclamp run as a program: the 5 % points of the luminance histogram, its
// three passes and lines, and the images whose histogram defines no stretch.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "testkit.h"

using namespace testkit;

namespace {

// Grey pixels k / 64 for k = 1 ... 64: luminances spread evenly over
// [1/64, 1], every value exact in half precision.
std::vector<rgba_t> even_greys()
{
    std::vector<rgba_t> px;
    for (int k = 1; k <= 64; k++)
        px.push_back({k / 64.0, k / 64.0, k / 64.0, 1});
    return px;
}

// The mapping with the given levels, as the writer stores it.
image mapped(int w, int h, const std::vector<rgba_t> &in, double lower, double upper)
{
    std::vector<rgba_t> px;
    for (const rgba_t &p : in) {
        rgba_t o = {(p.r - lower) / (upper - lower), (p.g - lower) / (upper - lower),
                    (p.b - lower) / (upper - lower), p.a};
        for (double *v : {&o.r, &o.g, &o.b})
            *v = written(*v);
        px.push_back(o);
    }
    return pixels(w, h, px);
}

std::string lines(double min, double max, double lo, double hi, double lower, double upper)
{
    return format("\nradclamp: Minimum value: %.3f, maximum %.3f\n", min, max) +
           format("radclamp: Min %f, Max %f\n", lo, hi) +
           format("radclamp: Minv %f, Maxv %f\n", lower, upper);
}

} // namespace

TEST(Radclamp, EvenlySpreadImageMapsItsFivePercentPointsOntoZeroAndOne)
{
    // 64 counted pixels: the 5 % points fall on the 4th from either end,
    // k = 4 in bin int(3/63 * 1023) = 48 and k = 61 in bin int(60/63 * 1023) = 974.
    temp_dir dir;
    std::vector<rgba_t> in = even_greys();
    write_exr(dir / "in.exr", pixels(4, 16, in));
    run_result r = run("radclamp", {dir / "in.exr", dir / "out.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "radclamp: " + (dir / "in.exr") + " [4x16]\n");

    double range = 63 / 64.0, lower = 48 / 1023.0 * range + 1 / 64.0,
           upper = 974 / 1023.0 * range + 1 / 64.0;
    std::string scan = progress("radclamp", "Scanning", 16, 10);
    EXPECT_EQ(r.err, scan + format("\nradclamp: Minimum value: %.3f, maximum %.3f\n", 1 / 64.0, 1.0) +
                         scan + format("radclamp: Min %f, Max %f\n", 48 / 1023.0, 974 / 1023.0) +
                         format("radclamp: Minv %f, Maxv %f\n", lower, upper) +
                         progress("radclamp", "Writing", 16, 10) + "\nradclamp: Done.\n");

    image got = read_exr(dir / "out.exr");
    expect_image_near(got, mapped(4, 16, in, lower, upper), 4);
    // the grey pixels at the two points land near 0 and 1; above 1 stays above
    EXPECT_NEAR(got.at(3, 0).g, 0, 2e-3);  // k = 4
    EXPECT_NEAR(got.at(0, 15).g, 1, 2e-3); // k = 61
    EXPECT_GT(got.at(3, 15).g, 1.05);      // k = 64
}

// Images whose histogram gives no usable pair of points get a defined
// stretch; the lines show the levels used.
TEST(Radclamp, DegenerateHistograms)
{
    std::vector<rgba_t> with_inf = even_greys();
    with_inf.push_back({INFINITY, 1, 1, 1});
    const double even_lower = 48 / 1023.0 * 63 / 64.0 + 1 / 64.0,
                 even_upper = 974 / 1023.0 * 63 / 64.0 + 1 / 64.0;
    const struct {
        const char *name;
        int w, h;
        std::vector<rgba_t> in;
        double min, max, lo, hi, lower, upper;
    } cases[] = {
        // every positive luminance equal: [0, max] maps onto [0, 1]
        {"uniform grey", 2, 2, std::vector<rgba_t>(4, {0.5, 0.5, 0.5, 0.25}),
         0.5, 0.5, 0, 1, 0, 0.5},
        // no positive luminance: the image is written as it is
        {"no positive luminance", 2, 1, {{0.5, -0.25, 0, 1}, {0, 0, 0, 1}},
         0, 0, 0, 1, 0, 1},
        // 1 of 20 pixels below, 1 above: both 5 % points in bin
        // int(0.375 / 0.875 * 1023) = 438; the upper one moves to bin 439
        {"both points in one bin", 20, 1,
         [] {
             std::vector<rgba_t> px(20, {0.5, 0.5, 0.5, 1});
             px[0] = {0.125, 0.125, 0.125, 1};
             px[19] = {1, 1, 1, 1};
             return px;
         }(),
         0.125, 1, 438 / 1023.0, 439 / 1023.0, 438 / 1023.0 * 0.875 + 0.125,
         439 / 1023.0 * 0.875 + 0.125},
        // an infinite luminance takes no part: the levels of the even image
        {"infinite luminance", 5, 13, with_inf,
         1 / 64.0, 1, 48 / 1023.0, 974 / 1023.0, even_lower, even_upper},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        write_exr(dir / "in.exr", pixels(c.w, c.h, c.in));
        run_result r = run("radclamp", {dir / "in.exr", dir / "out.exr"});
        ASSERT_EQ(r.status, 0) << r.err;
        std::string want = lines(c.min, c.max, c.lo, c.hi, c.lower, c.upper);
        std::string minimum = want.substr(0, want.find('\n', 1) + 1);
        EXPECT_NE(r.err.find(minimum), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(want.substr(minimum.size())), std::string::npos) << r.err;
        expect_image_near(read_exr(dir / "out.exr"), mapped(c.w, c.h, c.in, c.lower, c.upper),
                          4 * std::max(1.0, 1 / (c.upper - c.lower)));
    }
}
