// radsoften run as a program: command line, messages, the blur's values
// against an independent two-dimensional form, borders, sizes below a pixel
// and failures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "testkit.h"

using namespace testkit;

namespace {

// The channel means of in as stored in halves, over the pixels whose R, G
// and B are finite; all 0 when there is none.
rgba_t finite_means(const image &in)
{
    rgba_t mean = {0, 0, 0, 0};
    double n = 0;
    for (const rgba_t &p : in.px) {
        if (!std::isfinite(p.r) || !std::isfinite(p.g) || !std::isfinite(p.b))
            continue;
        mean.r += half_round(p.r), mean.g += half_round(p.g), mean.b += half_round(p.b);
        mean.a += half_round(p.a);
        n++;
    }
    return n == 0 ? mean : rgba_t{mean.r / n, mean.g / n, mean.b / n, mean.a / n};
}

// The blur computed here as one two-dimensional sum over an image that has
// been padded all round with the given means (by default its own),
// weights exp(-k^2/s^2) for offsets up to 2s + 1 each way, normalised by
// the square of their sum.
image expected_blur(const image &in, int s, const rgba_t &mean)
{
    int reach = 2 * s + 1;
    std::vector<double> g(2 * reach + 1);
    double sum = 0;
    for (int d = -reach; d <= reach; d++)
        sum += g[d + reach] = std::exp(-double(d) * d / (double(s) * s));
    std::vector<rgba_t> px;
    for (const rgba_t &p : in.px)
        px.push_back({half_round(p.r), half_round(p.g), half_round(p.b), half_round(p.a)});
    auto at = [&](int x, int y) {
        return x < 0 || y < 0 || x >= in.w || y >= in.h ? mean : px[size_t(y) * in.w + x];
    };
    std::vector<rgba_t> out;
    for (int y = 0; y < in.h; y++)
        for (int x = 0; x < in.w; x++) {
            rgba_t acc = {0, 0, 0, 0};
            for (int dy = -reach; dy <= reach; dy++)
                for (int dx = -reach; dx <= reach; dx++) {
                    double k = g[dx + reach] * g[dy + reach] / (sum * sum);
                    rgba_t p = at(x + dx, y + dy);
                    acc.r += k * p.r, acc.g += k * p.g, acc.b += k * p.b, acc.a += k * p.a;
                }
            out.push_back(acc);
        }
    return pixels(in.w, in.h, out);
}

image expected_blur(const image &in, int s)
{
    return expected_blur(in, s, finite_means(in));
}

// Every value within the rounding of a half float of the expected one.
void expect_blur_near(const image &got, const image &want)
{
    ASSERT_EQ(got.w, want.w);
    ASSERT_EQ(got.h, want.h);
    for (size_t i = 0; i < got.px.size(); i++) {
        const rgba_t &g = got.px[i], &e = want.px[i];
        double pairs[4][2] = {{g.r, e.r}, {g.g, e.g}, {g.b, e.b}, {g.a, e.a}};
        for (auto &p : pairs)
            ASSERT_NEAR(p[0], p[1], 1e-3 * std::fabs(p[1]) + 1e-6)
                << "pixel " << i % got.w << "," << i / got.w;
    }
}

// 20 x 6: ramps, a bright spot over three decades, varied alpha.
image scene()
{
    std::vector<rgba_t> px;
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 20; x++)
            px.push_back({0.05 * x, 0.2 * y, (x + y) % 3 == 0 ? 1.0 : 0.0,
                          x == 4 && y == 2 ? 50.0 : 0.25 + 0.03 * x});
    for (int x = 16; x < 19; x++)
        px[3 * 20 + x].r = 200;
    return pixels(20, 6, px);
}

// Left half black, right half white, alpha 1.
image half_black()
{
    std::vector<rgba_t> px;
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 20; x++)
            px.push_back(x < 10 ? rgba_t{0, 0, 0, 1} : rgba_t{1, 1, 1, 1});
    return pixels(20, 4, px);
}

// in blurred by radsoften with scalefactor (an empty image, the test
// failed, when the run fails); its standard error in err.
image soften(const image &in, const char *scalefactor, std::string *err = nullptr)
{
    temp_dir dir;
    write_exr(dir / "in.exr", in);
    run_result r = run("radsoften", {dir / "in.exr", dir / "out.exr", scalefactor});
    EXPECT_EQ(r.status, 0) << r.err;
    if (err)
        *err = r.err;
    return r.status == 0 ? read_exr(dir / "out.exr") : image();
}

std::string numbered(const std::string &prefix, const std::string &suffix, int h)
{
    std::string s;
    for (int y = 0; y < h; y += 10)
        s += prefix + std::to_string(y) + suffix + "\r";
    return s;
}

} // namespace

TEST(Radsoften, TooFewArgumentsPrintUsage)
{
    for (const auto &args : std::vector<std::vector<std::string>>{{}, {"a.exr", "b.exr"}}) {
        run_result r = run("radsoften", args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Usage: radsoften input.exr output.exr scalefactor\n");
        EXPECT_EQ(r.out, "");
    }
}

TEST(Radsoften, MessagesOfEveryPhase)
{
    temp_dir dir;
    write_exr(dir / "in.exr", uniform(3, 25, {0.5, 0.5, 0.5, 1}));
    run_result r = run("radsoften", {dir / "in.exr", dir / "out.exr", "0.5", "ignored"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "radsoften: " + (dir / "in.exr") + " [3x25]\n");
    EXPECT_EQ(r.err, "radsoften: Gaussian size 0.500 of image width == 1 pixels.\n" +
                         progress("radsoften", "Reading input", 25, 10) +
                         "\nradsoften: Done, starting blur.\n"
                         "gaussian: Pass 1 (horizontal).\n" +
                         numbered("gaussian: ", "", 25) +
                         "\ngaussian: Pass 2 (vertical).\n" +
                         numbered("gaussian: ", "", 25) +
                         "\ngaussian: Done.\n" +
                         numbered("radsoften: Writing scanline ", ".", 25) +
                         "\nradsoften: Done.\n");
    image got = read_exr(dir / "out.exr");
    EXPECT_EQ(got.compression, 4);
    expect_image_near(got, uniform(3, 25, {0.5, 0.5, 0.5, 1}), 0);
}

TEST(Radsoften, BlurMatchesTheTwoDimensionalForm)
{
    const struct {
        const char *name;
        image in;
        const char *scalefactor;
        int s; // the scale the size must give
        const char *size_line;
    } cases[] = {
        {"size 1.5", scene(), "0.075", 1, "0.075 of image width == 1"},
        {"exact size 2", scene(), "0.1", 2, "0.100 of image width == 2"},
        {"size 20.9", scene(), "1.045", 20, "1.045 of image width == 20"},
        {"half black", half_black(), "0.075", 1, "0.075 of image width == 1"},
        {"half black, wide", half_black(), "0.25", 5, "0.250 of image width == 5"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string err;
        image got = soften(c.in, c.scalefactor, &err);
        EXPECT_EQ(err.substr(0, err.find('\n') + 1),
                  std::string("radsoften: Gaussian size ") + c.size_line + " pixels.\n");
        expect_blur_near(got, expected_blur(c.in, c.s));
    }
}

TEST(Radsoften, BordersMeetTheMeanAndAlphaOneStays)
{
    temp_dir dir;
    write_exr(dir / "in.exr", half_black());
    ASSERT_EQ(run("radsoften", {dir / "in.exr", dir / "out.exr", "0.075"}).status, 0);
    image got = read_exr(dir / "out.exr");
    for (int y = 0; y < 4; y++) {
        // Padding with zeros or edge copies would leave these at 0 and 1.
        EXPECT_GT(got.at(0, y).r, 0.1);
        EXPECT_LT(got.at(19, y).r, 0.9);
        EXPECT_NEAR(got.at(0, y).g + got.at(19, y).g, 1.0, 2e-3);
        for (int x = 0; x < 20; x++)
            EXPECT_EQ(got.at(x, y).a, 1.0);
    }
}

TEST(Radsoften, UniformImagesBlurToThemselves)
{
    const struct {
        int w, h;
        const char *scalefactor;
    } cases[] = {{20, 6, "0.1"}, {7, 30, "3"}, {1, 1, "5"}};
    for (const auto &c : cases) {
        temp_dir dir;
        image in = uniform(c.w, c.h, {0.3, 7.5, 0.001, 0.6});
        write_exr(dir / "in.exr", in);
        ASSERT_EQ(run("radsoften", {dir / "in.exr", dir / "out.exr", c.scalefactor}).status, 0);
        image want = uniform(c.w, c.h, {half_round(0.3), 7.5, half_round(0.001), half_round(0.6)});
        expect_image_near(read_exr(dir / "out.exr"), want, 0);
    }
}

// Pixels whose R, G or B is NaN or infinite count in none of the means, so
// every output the kernel does not reach from them is the blur of the
// image padded with the means of the other pixels (with no finite pixel
// at all, with zeros). Where the kernel does reach them the channel is not
// finite, which the writer stores as 0.
TEST(Radsoften, NonFinitePixelsAreLeftOutOfTheMeans)
{
    image photo = read_exr(photograph_path());
    ASSERT_GE(photo.w, 532);
    ASSERT_GE(photo.h, 224);
    std::vector<rgba_t> px;
    for (int y = 0; y < 24; y++)
        for (int x = 0; x < 32; x++)
            px.push_back(photo.at(500 + x, 200 + y));
    image crop = pixels(32, 24, px);
    crop.px[5 * 32 + 6].g = NAN;
    crop.px[17 * 32 + 25].r = INFINITY;

    std::vector<rgba_t> no_finite;
    for (int i = 0; i < 12; i++)
        no_finite.push_back({NAN, 0.1 * i, 2.0 - 0.1 * i, i % 2 ? 1.0 : 0.5});

    const struct {
        const char *name;
        image in;
        const char *scalefactor;
        int s;
    } cases[] = {
        {"photograph with a NaN and an infinity", crop, "0.0625", 2},
        {"no finite pixel", pixels(3, 4, no_finite), "1", 3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        image got = soften(c.in, c.scalefactor);
        image want = expected_blur(c.in, c.s, finite_means(c.in));
        ASSERT_EQ(got.px.size(), want.px.size());
        int reached = 0;
        for (size_t i = 0; i < got.px.size(); i++) {
            const rgba_t &g = got.px[i], &e = want.px[i];
            double pairs[4][2] = {{g.r, e.r}, {g.g, e.g}, {g.b, e.b}, {g.a, e.a}};
            for (auto &p : pairs) {
                if (!std::isfinite(p[1])) {
                    reached++;
                    EXPECT_EQ(p[0], written(p[1])) << "pixel " << i % got.w << "," << i / got.w;
                } else {
                    // within the rounding to half of the exact value
                    ASSERT_NEAR(p[0], p[1], 1.01 * std::ldexp(std::fabs(p[1]), -11) + 0x1p-24)
                        << "pixel " << i % got.w << "," << i / got.w;
                }
            }
        }
        EXPECT_GT(reached, 0);
    }
}

// A blur narrower than one pixel has no Gaussian to speak of: the image
// comes back unchanged rather than as the all-zero image 0/0 weights give.
TEST(Radsoften, SizesBelowOnePixelGiveTheInputBack)
{
    const struct {
        const char *scalefactor, *size_line;
    } cases[] = {
        {"0", "0.000 of image width == 0"},
        {"0.04", "0.040 of image width == 0"},
        {"-2", "-2.000 of image width == -40"},
        {"soft", "0.000 of image width == 0"},
        {"nan", "nan of image width == 0"},
    };
    image in = scene();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.scalefactor);
        temp_dir dir;
        write_exr(dir / "in.exr", in);
        run_result r = run("radsoften", {dir / "in.exr", dir / "out.exr", c.scalefactor});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1),
                  std::string("radsoften: Gaussian size ") + c.size_line + " pixels.\n");
        image got = read_exr(dir / "out.exr");
        for (size_t i = 0; i < in.px.size(); i++) {
            EXPECT_EQ(got.px[i].r, half_round(in.px[i].r));
            EXPECT_EQ(got.px[i].a, half_round(in.px[i].a));
        }
    }
}

TEST(Radsoften, BlurThatCannotBeAllocatedLeavesNoOutput)
{
    // Sanitizer builds would otherwise abort on the huge request instead of
    // letting it fail.
    const char *old = getenv("ASAN_OPTIONS");
    std::string saved = old ? old : "";
    setenv("ASAN_OPTIONS", (saved + (old ? ":" : "") + "allocator_may_return_null=1").c_str(), 1);
    temp_dir dir;
    write_exr(dir / "in.exr", uniform(20, 2, {1, 1, 1, 1}));
    // 2e15 pixels: tables of petabytes; 2e301: beyond any index.
    for (const char *scalefactor : {"1e14", "1e300"}) {
        SCOPED_TRACE(scalefactor);
        run_result r = run("radsoften", {dir / "in.exr", dir / "out.exr", scalefactor});
        EXPECT_EQ(r.status, 1);
        // (a sanitizer may report the refused request in between)
        const std::string tail = "radsoften: Cannot allocate memory.\n";
        ASSERT_GE(r.err.size(), tail.size()) << r.err;
        EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail);
        EXPECT_NE(r.err.find("\nradsoften: Done, starting blur.\n"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("gaussian:"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("== 2147483647 pixels.\n"), std::string::npos) << r.err;
        EXPECT_FALSE(exists(dir / "out.exr"));
    }
    if (old)
        setenv("ASAN_OPTIONS", saved.c_str(), 1);
    else
        unsetenv("ASAN_OPTIONS");
}
