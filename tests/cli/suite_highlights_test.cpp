// The brightest parts of a photograph and pixels that are not numbers never
// turn an image black: the sun of the bundled photograph through the local
// operators' chains, and NaN and infinite pixels through every program that
// gathers statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>

#include "colour.h"
#include "testkit.h"

using namespace testkit;

namespace {

double luminance(const rgba_t &p)
{
    return rgb_luminance(p.r, p.g, p.b);
}

// 80 x 80 pixels of the photograph around its sun, and its blur.
struct sun_crop {
    temp_dir dir;
    std::string in = dir / "sun.exr", blur = dir / "blur.exr";
    image img;
    sun_crop()
    {
        img = crop(read_exr(photograph_path()), 573, 160, 80, 80);
        write_exr(in, img);
        run_result r = run("radsoften", {in, blur, "0.05"});
        EXPECT_EQ(r.status, 0) << r.err;
    }
    // Fails for every pixel brighter than its eight neighbours in the input
    // whose output pixel is black.
    void expect_no_black_highlight(const image &out)
    {
        ASSERT_EQ(out.w, img.w);
        int maxima = 0;
        for (int y = 1; y + 1 < img.h; y++)
            for (int x = 1; x + 1 < img.w; x++) {
                double l = luminance(img.at(x, y));
                bool peak = true;
                for (int dy = -1; dy <= 1; dy++)
                    for (int dx = -1; dx <= 1; dx++)
                        if ((dx || dy) && luminance(img.at(x + dx, y + dy)) >= l)
                            peak = false;
                if (!peak)
                    continue;
                maxima++;
                EXPECT_GT(luminance(out.at(x, y)), 0)
                    << "pixel (" << x << ", " << y << ") of input luminance " << l;
            }
        EXPECT_GT(maxima, 10);
        // the sun's brightest pixel is among them
        EXPECT_GT(luminance(out.at(613 - 573, 199 - 160)), 0);
    }
};

} // namespace

TEST(SuiteHighlights, TheSunStaysBrightThroughRadadapt)
{
    sun_crop s;
    run_result r = run("radadapt", {s.in, s.blur, s.dir / "out.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    s.expect_no_black_highlight(read_exr(s.dir / "out.exr"));
}

TEST(SuiteHighlights, TheSunStaysBrightThroughRadappearAndRadclamp)
{
    sun_crop s;
    run_result r = run("radappear", {s.in, s.blur, s.dir / "appear.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    // radappear's result is beyond the half range at the sun: stored as the
    // largest half, which radclamp maps to its brightest value
    image appear = read_exr(s.dir / "appear.exr");
    EXPECT_EQ(appear.at(613 - 573, 199 - 160).g, 65504);
    r = run("radclamp", {s.dir / "appear.exr", s.dir / "out.exr"});
    ASSERT_EQ(r.status, 0) << r.err;
    s.expect_no_black_highlight(read_exr(s.dir / "out.exr"));
}

namespace {

// stderr without its progress lines, which differ with the image's height.
std::string without_progress(const std::string &err)
{
    static const std::regex progress("[a-z-]+: [A-Za-z ]+ [0-9]+\\.?\r");
    return std::regex_replace(err, progress, "");
}

struct statistics_case {
    std::string program;
    std::vector<std::string> options; // before the operands
    bool companion;                   // a second image of the same size
    std::vector<std::string> extra;   // after the operands
};

} // namespace

// A row of NaN and infinite pixels above a photograph crop and another below
// it change none of the statistics, so every row of the crop comes out as
// it does without them, and the statistics lines are the same; the bad
// pixels themselves still go through the operator.
TEST(SuiteHighlights, BadPixelsTakeNoPartInStatistics)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    temp_dir dir;
    image photo = read_exr(photograph_path());
    image plain = crop(photo, 300, 100, 24, 18), second = crop(photo, 500, 300, 24, 18);
    const rgba_t bad_pixels[] = {{nan, 0.5, 0.5, 1}, {inf, inf, inf, 1}, {0.2, -inf, 0.2, 1},
                                 {nan, nan, nan, 0.5}};
    // each image with a row above and a row below: bad ones for the input,
    // plain grey for the second image
    auto framed = [&](const image &img, bool bad_rows) {
        std::vector<rgba_t> px;
        for (int x = 0; x < img.w; x++)
            px.push_back(bad_rows ? bad_pixels[x % 4] : rgba_t{0.3, 0.3, 0.3, 1});
        px.insert(px.end(), img.px.begin(), img.px.end());
        for (int x = 0; x < img.w; x++)
            px.push_back(bad_rows ? bad_pixels[(x + 1) % 4] : rgba_t{0.3, 0.3, 0.3, 1});
        return pixels(img.w, img.h + 2, px);
    };
    image bad = framed(plain, true), second_tall = framed(second, false);
    write_exr(dir / "plain.exr", plain);
    write_exr(dir / "bad.exr", bad);
    write_exr(dir / "second.exr", second);
    write_exr(dir / "second-tall.exr", second_tall);

    const statistics_case cases[] = {
        {"radreceptor", {}, false, {}},
        {"radreceptor", {"-a", "0"}, false, {}},
        {"radreceptor-rgb", {"-a", "0", "-c", "0.5"}, false, {}},
        {"radreceptor-cone", {"-a", "0"}, false, {}},
        {"radconereceptor", {}, false, {}},
        {"radhybrid", {}, true, {}},
        {"radhybrid-inverse", {}, true, {}},
        {"radrescale", {}, false, {}},
        {"radrescale", {}, false, {"1"}},
        {"radrescale-max", {}, false, {}},
        {"radclamp", {}, false, {}},
        {"radmean", {}, false, {}},
    };
    for (const statistics_case &c : cases) {
        std::string what = c.program + (c.options.empty() ? "" : " " + c.options[0]) +
                           (c.extra.empty() ? "" : " " + c.extra[0]);
        run_result want, got;
        for (bool with_bad : {false, true}) {
            std::vector<std::string> args = c.options;
            args.push_back(dir / (with_bad ? "bad.exr" : "plain.exr"));
            if (c.companion)
                args.push_back(dir / (with_bad ? "second-tall.exr" : "second.exr"));
            args.push_back(dir / (with_bad ? "out-bad.exr" : "out-plain.exr"));
            args.insert(args.end(), c.extra.begin(), c.extra.end());
            (with_bad ? got : want) = run(c.program, args);
        }
        ASSERT_EQ(want.status, 0) << what << "\n" << want.err;
        ASSERT_EQ(got.status, 0) << what << "\n" << got.err;
        EXPECT_EQ(without_progress(got.err), without_progress(want.err)) << what;
        image w = read_exr(dir / "out-plain.exr"), g = read_exr(dir / "out-bad.exr");
        ASSERT_EQ(g.h, w.h + 2) << what;
        expect_image_near(crop(g, 0, 1, w.w, w.h), w, 0);
        // and the bad pixels hold no infinity
        for (int x = 0; x < g.w; x++)
            for (int y : {0, g.h - 1})
                for (double v : {g.at(x, y).r, g.at(x, y).g, g.at(x, y).b})
                    EXPECT_TRUE(std::isfinite(v)) << what << " (" << x << ", " << y << ")";
    }
}
