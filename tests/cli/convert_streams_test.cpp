// The PNG, JPEG, PPM and raw converters read a FIFO and a pipe through
// /dev/stdin as they read the same bytes from a file; and a header
// announcing more than a stream may bring is refused before anything large
// is reserved.
#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

#include "suite_kit.h"
#include "test_fixtures.h"
#include "testkit.h"

using namespace testkit;

namespace {

// Bytes that do not compress, so that every file is larger than a pipe's
// buffer and is read in many pieces.
std::vector<unsigned char> noise(size_t n, unsigned seed)
{
    std::vector<unsigned char> v(n);
    for (auto &b : v)
        b = (unsigned char)((seed = seed * 1103515245 + 12345) >> 16);
    return v;
}

// A program's report of a run with the input path taken out of it.
std::string without(std::string text, const std::string &path)
{
    for (size_t at; (at = text.find(path)) != std::string::npos;)
        text.replace(at, path.size(), "IN");
    return text;
}

} // namespace

TEST(Streams, PipesAndFifosReadAsFiles)
{
    temp_dir dir;
    fixtures::png_image png;
    png.w = png.h = 200;
    png.colour_type = 6;
    std::vector<unsigned char> rgba = noise(200 * 200 * 4, 1);
    png.rows.assign(rgba.begin(), rgba.end());
    ASSERT_TRUE(fixtures::write_png(dir / "in.png", png));
    ASSERT_TRUE(fixtures::write_jpeg_ycbcr(dir / "in.jpg", 160, 120, noise(160 * 120 * 3, 2)));
    std::vector<unsigned char> raster = noise(150 * 100 * 6, 3);
    write_file(dir / "in.ppm", "P6 150 100\n# 16 bits\n65535\n" +
                                          std::string(raster.begin(), raster.end()));
    std::vector<unsigned char> grid = noise(768 * 512 * 4, 4);
    for (size_t i = 0; i < grid.size(); i += 4)
        grid[i] &= 0x3f; // finite floats of moderate size
    write_file(dir / "in.raw", std::string(grid.begin(), grid.end()));
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);

    const struct {
        const char *program, *file;
    } cases[] = {
        {"radraster", "in.png"},
        {"radjfif", "in.jpg"},
        {"radpixmap", "in.ppm"},
        {"radraster-raw", "in.raw"},
    };
    for (const auto &c : cases) {
        const std::string prog = program_path(c.program), in = dir / c.file;
        run_result file = run(c.program, {in, dir / "file.exr"});
        ASSERT_EQ(file.status, 0) << c.program << ": " << file.err;
        image want = read_exr(dir / "file.exr");

        const struct {
            const char *how;
            std::string script, path;
        } ways[] = {
            {"pipe", "cat " + in + " | " + prog + " /dev/stdin " + (dir / "out.exr"), "/dev/stdin"},
            {"fifo", "cat " + in + " > " + (dir / "fifo") + " & exec " + prog + " " + (dir / "fifo") +
                         " " + (dir / "out.exr"),
             dir / "fifo"},
        };
        for (const auto &way : ways) {
            run_result r = suite::run_shell(way.script);
            ASSERT_EQ(r.status, 0) << c.program << " " << way.how << ": " << r.err;
            EXPECT_EQ(without(r.out, way.path), without(file.out, in)) << c.program << " " << way.how;
            EXPECT_EQ(r.err, file.err) << c.program << " " << way.how;
            expect_image_near(read_exr(dir / "out.exr"), want, 0);
        }
    }
}

// What cannot be bounded by a stream's size is bounded by the readers'
// stated memory limit: headers past it are refused at once, by the PNG
// reader before libpng starts and by the JPEG reader before libjpeg
// reserves its coefficient buffers or the pixels. Each such run costs
// little more memory than converting a one-block image.
TEST(Streams, HeadersPastTheMemoryLimitAreRefusedAtOnce)
{
    temp_dir dir;
    fixtures::png_image tiny;
    tiny.w = tiny.h = 8;
    tiny.rows.assign(8 * 8 * 3, 100);
    ASSERT_TRUE(fixtures::write_png(dir / "tiny.png", tiny));
    ASSERT_TRUE(fixtures::write_jpeg_ycbcr(dir / "tiny.jpg", 8, 8, noise(8 * 8 * 3, 5)));
    // 46000 x 46000 RGB: 8.5 GB once expanded with a possible alpha.
    ASSERT_TRUE(fixtures::write_png_header_only(dir / "wide.png", 46000, 46000, 8, 2));
    // 32768 x 32768 RGBA: 4096 MiB exactly, which the bound allows (and the
    // stream then ends where libpng looks for image data); one row more it
    // does not.
    ASSERT_TRUE(fixtures::write_png_header_only(dir / "at-bound.png", 32768, 32768, 8, 6));
    ASSERT_TRUE(fixtures::write_png_header_only(dir / "above-bound.png", 32768, 32769, 8, 6));
    // A baseline and a progressive JPEG under headers of 40000 x 40000 and
    // 37904 x 56072 (pixels of 4.8 and 6.4 GB; the progressive one's
    // coefficients alone 12.7 GB).
    std::string jpg = slurp(dir / "tiny.jpg");
    size_t sof = jpg.find("\xff\xc0");
    ASSERT_NE(sof, std::string::npos);
    jpg.replace(sof + 5, 4, "\x9c\x40\x9c\x40");
    write_file(dir / "wide.jpg", jpg);
    ASSERT_TRUE(fixtures::write_jpeg_progressive(dir / "p.jpg", 16, 16, noise(16 * 16 * 3, 6)));
    std::string prog = slurp(dir / "p.jpg");
    sof = prog.find("\xff\xc2");
    ASSERT_NE(sof, std::string::npos);
    prog.replace(sof + 5, 4, "\xdb\x08\x94\x10");
    write_file(dir / "vast.jpg", prog);

    const struct {
        const char *program, *file, *baseline;
        std::string message;
    } cases[] = {
        {"radraster", "wide.png", "tiny.png",
         "pnginput: /dev/stdin: 46000x46000 image is too large to read from a stream (more than "
         "4096 MiB).\n"},
        {"radraster", "above-bound.png", "tiny.png",
         "pnginput: /dev/stdin: 32768x32769 image is too large to read from a stream (more than "
         "4096 MiB).\n"},
        {"radraster", "at-bound.png", "tiny.png", "libpng error: Read Error\n"},
        {"radjfif", "wide.jpg", "tiny.jpg",
         "jpeginput: /dev/stdin: 40000x40000 image is too large to read from a stream (more than "
         "4096 MiB).\n"},
        {"radjfif", "vast.jpg", "tiny.jpg",
         "jpeginput: /dev/stdin: 37904x56072 image is too large to read from a stream (more than "
         "4096 MiB).\n"},
    };
    for (const auto &c : cases) {
        const std::string prog = program_path(c.program);
        suite::run_cost base, cost;
        run_result r = suite::run_shell("cat " + (dir / c.baseline) + " | " + prog + " /dev/stdin " +
                                            (dir / "tiny.exr"),
                                        &base);
        ASSERT_EQ(r.status, 0) << r.err;
        r = suite::run_shell("cat " + (dir / c.file) + " | " + prog + " /dev/stdin " + (dir / "out.exr"),
                             &cost);
        EXPECT_EQ(r.status, 1) << c.file;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        const std::string last = std::string(c.program) + ": Cannot open /dev/stdin\n";
        EXPECT_EQ(r.err.substr(r.err.size() - std::min(r.err.size(), last.size())), last) << r.err;
        EXPECT_LT(cost.max_rss_kb, base.max_rss_kb + 20 * 1024) << c.file;
        EXPECT_LT(cost.seconds, 10) << c.file;
        EXPECT_FALSE(exists(dir / "out.exr"));
    }
}
