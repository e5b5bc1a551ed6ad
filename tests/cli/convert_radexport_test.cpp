// radexport run as a program: the sRGB bytes it writes, the PNG's chunks,
// its messages, and outputs it cannot create or complete.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <limits>
#include <sys/resource.h>

#include "test_fixtures.h"
#include "testkit.h"

using namespace testkit;

namespace {

const double inf = std::numeric_limits<double>::infinity();
const double not_a_number = std::numeric_limits<double>::quiet_NaN();

std::string ending(const std::string &s, size_t n)
{
    return s.size() < n ? s : s.substr(s.size() - n);
}

} // namespace

TEST(Radexport, EncodesColourWithSrgbAndAlphaLinearly)
{
    const struct {
        rgba_t in;
        std::vector<int> bytes; // R, G, B, A
    } cases[] = {
        // Colour through the sRGB curve; the third channel is kept at 0 or 1.
        {{0, 0.001, 1, 1}, {0, 3, 255, 255}},
        {{0.0031308, 0.01, 0, 1}, {10, 25, 0, 255}},
        {{0.18, 0.5, 0.99, 1}, {118, 188, 254, 255}},
        // Alpha without a curve.
        {{0, 0, 0, 0}, {0, 0, 0, 0}},
        {{0, 0, 0, 0.25}, {0, 0, 0, 64}},
        {{0, 0, 0, 0.5}, {0, 0, 0, 128}},
        // Out of range and not a number.
        {{2.0, inf, -0.5, 1}, {255, 255, 0, 255}},
        {{-inf, not_a_number, 0.5, 1.5}, {0, 0, 188, 255}},
        {{0, 0, 0, -0.5}, {0, 0, 0, 0}},
        {{0, 0, 0, not_a_number}, {0, 0, 0, 0}},
        {{0, 0, 0, inf}, {0, 0, 0, 255}},
    };
    std::vector<rgba_t> px;
    for (const auto &c : cases)
        px.push_back(c.in);
    temp_dir dir;
    write_exr(dir / "in.exr", pixels(int(px.size()), 1, px), {0, 0, false, true});
    run_result r = run("radexport", {dir / "in.exr", dir / "out.png"});
    ASSERT_EQ(r.status, 0) << r.err;

    fixtures::png_file png = fixtures::read_png(dir / "out.png");
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colour_type, 6);
    EXPECT_EQ(png.bit_depth, 8);
    EXPECT_EQ(png.interlace, 0);
    ASSERT_EQ(png.w, int(px.size()));
    for (size_t x = 0; x < px.size(); x++)
        for (int c = 0; c < 4; c++)
            EXPECT_EQ(png.rows[4 * x + c], cases[x].bytes[c]) << "pixel " << x << " channel " << "RGBA"[c];

    // The colour-space chunks of sRGB: rendering intent 1, gamma 1/2.2 and
    // the Rec. 709 primaries with the D65 white point.
    EXPECT_TRUE(png.has_srgb);
    EXPECT_EQ(png.srgb_intent, 1);
    EXPECT_TRUE(png.has_gama);
    EXPECT_NEAR(png.gamma, 0.45455, 1e-5);
    EXPECT_TRUE(png.has_chrm);
    const double chrm[8] = {0.3127, 0.329, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    for (int i = 0; i < 8; i++)
        EXPECT_NEAR(png.chrm[i], chrm[i], 1e-5) << i;
}

TEST(Radexport, MessagesEveryTenthRow)
{
    temp_dir dir;
    write_exr(dir / "in.exr", uniform(3, 12, {0.5, 0.5, 0.5, 1}));
    run_result r = run("radexport", {dir / "in.exr", dir / "out.png"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "radexport: " + (dir / "in.exr") + " [3x12]\n");
    EXPECT_EQ(r.err, progress("radexport", "Writing scanline", 12, 10) + "\nradexport: Done.\n");
    EXPECT_EQ(fixtures::read_png(dir / "out.png").h, 12);
}

TEST(Radexport, FailuresLeaveNoFile)
{
    temp_dir dir;
    write_exr(dir / "in.exr", uniform(2, 2, {0.5, 0.5, 0.5, 1}));

    // Input missing: the reader's message, then the program's without a full stop.
    run_result r = run("radexport", {dir / "none.exr", dir / "out.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("exrinput: ", 0), 0u) << r.err;
    std::string last = "radexport: Cannot open " + (dir / "none.exr") + "\n";
    EXPECT_EQ(ending(r.err, last.size()), last);

    // Output in a missing directory: the writer's system error, then the
    // program's line with a full stop.
    std::string target = dir / "no/out.png";
    r = run("radexport", {dir / "in.exr", target});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "pngoutput: Cannot open " + target + ": No such file or directory\n"
                     "radexport: Cannot open " + target + ".\n");
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"in.exr"});
}

// A write the system refuses (here a file size limit, as a full disk would):
// a clear message, status 1, and the old file under the target's name.
TEST(Radexport, WriteErrorKeepsOldTarget)
{
    temp_dir dir;
    std::vector<rgba_t> noise;
    unsigned seed = 1;
    for (int i = 0; i < 256 * 256; i++) {
        seed = seed * 1103515245 + 12345;
        noise.push_back({(seed >> 8 & 0xff) / 255.0, (seed >> 16 & 0xff) / 255.0, 0.5, 1});
    }
    write_exr(dir / "in.exr", pixels(256, 256, noise));
    {
        FILE *f = fopen((dir / "out.png").c_str(), "w");
        fputs("old", f);
        fclose(f);
    }
    struct rlimit old_limit;
    getrlimit(RLIMIT_FSIZE, &old_limit);
    struct rlimit limit = old_limit;
    limit.rlim_cur = 64 * 1024;
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    run_result r = run("radexport", {dir / "in.exr", dir / "out.png"});
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);

    EXPECT_EQ(r.status, 1);
    std::string message = "pngoutput: Cannot write " + (dir / "out.png") + ": File too large\n";
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(slurp(dir / "out.png"), "old");
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"in.exr", "out.png"}));
}
