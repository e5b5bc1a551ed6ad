// What every local operator does with files it cannot use: a missing input
// or blurred image, a blurred image of another size, an output that cannot
// be created. Nothing is written in any of these cases.
#include <gtest/gtest.h>

#include "local_kit.h"

using namespace testkit;
using namespace local_kit;

namespace {

const struct {
    const char *program, *family;
    std::vector<std::string> extra; // arguments after the three paths
    const char *first_line;         // what the program prints before opening anything
} programs[] = {
    {"radmask", "radmask", {}, ""},
    {"radmask-cone", "radmask", {}, ""},
    {"radmask-modes", "radmask", {"0", "0"}, ""},
    {"radappear", "radappear", {}, "m 1000.000000, c 100.000000, k 0.588235, l 0.300000\n"},
    {"radappear-cone", "radappear", {}, "m 100.000000, c 100.000000, k 0.588235, l 0.000100\n"},
    {"radappear-sigmoid", "radappear", {}, "m 1000.000000, c 100.000000, k 0.588235, l 0.300000\n"},
    {"radadapt", "radadapt", {}, ""},
    {"radadapt-degree", "radadapt", {"1"}, ""},
};

run_result run_paths(const char *program, const std::vector<std::string> &extra,
                     const std::string &in, const std::string &blur, const std::string &out)
{
    std::vector<std::string> args = {in, blur, out};
    args.insert(args.end(), extra.begin(), extra.end());
    return run(program, args);
}

} // namespace

TEST(LocalFiles, BlurredImageOfAnotherSize)
{
    // Widths are compared first, then heights; the blurred size comes first.
    const struct {
        int w, h;
    } sizes[] = {{3, 4}, {2, 5}, {4, 2}};
    temp_dir dir;
    write_exr(dir / "in.exr", uniform(2, 4, grey(0.5)));
    for (const auto &p : programs) {
        for (const auto &s : sizes) {
            write_exr(dir / "blur.exr", uniform(s.w, s.h, grey(0.5)));
            run_result r = run_paths(p.program, p.extra, dir / "in.exr", dir / "blur.exr",
                                     dir / "out.exr");
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, std::string(p.family) + ": " + (dir / "in.exr") + " [2x4]\n");
            EXPECT_EQ(r.err, std::string(p.first_line) + p.family + ": Whitepoint image (" +
                                 std::to_string(s.w) + "x" + std::to_string(s.h) +
                                 ") does not match input image (2x4).\n");
            EXPECT_FALSE(exists(dir / "out.exr")) << p.program;
        }
    }
}

TEST(LocalFiles, FilesThatCannotBeOpened)
{
    temp_dir dir;
    write_exr(dir / "in.exr", uniform(2, 2, grey(0.5)));
    write_exr(dir / "blur.exr", uniform(2, 2, grey(0.5)));
    const std::string size_line = ": " + (dir / "in.exr") + " [2x2]\n";
    const struct {
        std::string in, blur, out, module, failing;
        bool opened; // whether the size line is printed
    } cases[] = {
        {dir / "missing.exr", dir / "blur.exr", dir / "out.exr", "exrinput: ", dir / "missing.exr", false},
        {dir / "in.exr", dir / "missing.exr", dir / "out.exr", "exrinput: ", dir / "missing.exr", true},
        {dir / "in.exr", dir / "blur.exr", dir / "no/such/out.exr", "exroutput: ", dir / "no/such/out.exr", true},
    };
    for (const auto &p : programs) {
        for (const auto &c : cases) {
            run_result r = run_paths(p.program, p.extra, c.in, c.blur, c.out);
            std::string what = std::string(p.program) + " " + c.failing;
            EXPECT_EQ(r.status, 1) << what;
            EXPECT_EQ(r.out, c.opened ? p.family + size_line : "") << what;
            // the module's own line, then the program's
            std::string head = p.first_line + c.module;
            std::string tail = std::string(p.family) + ": Cannot open " + c.failing + ".\n";
            EXPECT_EQ(r.err.rfind(head, 0), 0u) << what << "\n" << r.err;
            ASSERT_GE(r.err.size(), head.size() + tail.size()) << what;
            EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail) << what;
            EXPECT_EQ(r.err.find('\n', head.size()), r.err.size() - tail.size() - 1) << what;
            EXPECT_FALSE(exists(dir / "out.exr")) << what;
        }
    }
}
