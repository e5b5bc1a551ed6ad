// radraster-raw run as a program: the byte order of its fixed 768 x 512
// grid of floats, messages under the name radraster, and files of the
// wrong length.
#include <gtest/gtest.h>

#include "testkit.h"

using namespace testkit;

namespace {

const size_t grid_bytes = 768 * 512 * 4;

// A grid of zeros with the given big-endian words at sample indices.
std::string grid(const std::vector<std::pair<size_t, uint32_t>> &words)
{
    std::string g(grid_bytes, '\0');
    for (const auto &w : words)
        for (int k = 0; k < 4; k++)
            g[4 * w.first + k] = char(w.second >> (24 - 8 * k));
    return g;
}

} // namespace

TEST(RadrasterRaw, BigEndianFloatsBecomeGreyPixels)
{
    temp_dir dir;
    // 1.0 and 2.0 at the top left, 0.25 at (500, 300), 10.0 at the bottom
    // right; -2.0 reaches the writer, which stores negatives as 0.
    std::string g = grid({{0, 0x3f800000}, {1, 0x40000000}, {2, 0xc0000000},
                          {300 * 768 + 500, 0x3e800000}, {768 * 512 - 1, 0x41200000}});
    write_file(dir / "exact.raw", g);
    write_file(dir / "long.raw", g + std::string(1000, '\x7f'));
    const struct {
        std::pair<int, int> at;
        double want;
    } samples[] = {{{0, 0}, 1.0}, {{1, 0}, 2.0}, {{2, 0}, 0.0}, {{500, 300}, 0.25}, {{767, 511}, 10.0}, {{3, 0}, 0.0}};

    for (const std::string name : {"exact.raw", "long.raw"}) {
        run_result r = run("radraster-raw", {dir / name, dir / "out.exr"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "radraster: " + (dir / name) + " [768x512]\n");
        EXPECT_EQ(r.err, progress("radraster", "Writing scanline", 512, 1) + "\nradraster: Done.\n");
        image out = read_exr(dir / "out.exr");
        ASSERT_EQ(out.w, 768);
        ASSERT_EQ(out.h, 512);
        for (const auto &s : samples) {
            const rgba_t &p = out.at(s.at.first, s.at.second);
            EXPECT_EQ(p.r, s.want) << name << " at " << s.at.first << "," << s.at.second;
            EXPECT_EQ(p.g, s.want);
            EXPECT_EQ(p.b, s.want);
            EXPECT_EQ(p.a, 1.0);
        }
    }
}

TEST(RadrasterRaw, ShortOrMissingFilesAreRefused)
{
    temp_dir dir;
    const struct {
        size_t size;
    } cases[] = {{0}, {1000}, {grid_bytes - 1}};
    for (const auto &c : cases) {
        write_file(dir / "short.raw", std::string(c.size, '\0'));
        run_result r = run("radraster-raw", {dir / "short.raw", dir / "out.exr"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "radraster: " + (dir / "short.raw") + " holds " + std::to_string(c.size) +
                             " bytes, less than a 768x512 grid of floats (1572864).\n");
        EXPECT_FALSE(exists(dir / "out.exr"));
    }
    run_result r = run("radraster-raw", {dir / "none.raw", dir / "out.exr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "radraster: Cannot open " + (dir / "none.raw") + "\n");
    r = run("radraster-raw", {});
    EXPECT_EQ(r.err, "Usage: radraster input.png output.exr\n");
}
