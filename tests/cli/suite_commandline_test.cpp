// What every program's command line does, as one table and one driver: too
// few arguments print the usage line; an input that cannot be opened gives
// its reader's line and then the program's; an output that cannot be
// created gives its writer's line and the program's, after the size line,
// and before any row is read; --help and --version answer on stdout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_fixtures.h"
#include "testkit.h"

using namespace testkit;

namespace {

// One program. args holds its arguments with IN, BLUR and OUT standing for
// the input, the companion and the output; `input` names the kind of file
// IN is. Messages are byte for byte; "%s" stands for the failing path.
struct program_row {
    std::string program, family;
    std::vector<std::string> args;
    std::string input;        // exr, png, jpg, ppm, raw
    std::string usage;        // printed for too few arguments
    std::string before_open;  // stderr before the input is opened
    std::string reader;       // the reader's line starts so ("" for none)
    std::string cannot_open;  // the program's line for an input
    std::string writer;       // the writer's line starts so
    std::string cannot_write; // the program's line for an output
    bool size_line = true;    // the size line on stdout once the input is open
};


std::vector<program_row> programs()
{
    auto exr = [](std::string program, std::string family, std::vector<std::string> args,
                  std::string usage, std::string before = "") {
        std::string open = family + ": Cannot open %s.\n";
        return program_row{program, family, args, "exr", usage, before, "exrinput: ", open,
                           "exroutput: ", open};
    };
    const std::string receptor = "Usage: radreceptor [-f fval] [-m mval] [-a aval] input.exr output.exr\n";
    const std::string receptor_c =
        "Usage: radreceptor [-f fval] [-m mval] [-c cval] [-a aval] input.exr output.exr\n";
    const std::string hybrid =
        "Usage: radhybrid [-f fval] [-m mval] [-a aval] input.exr chr.exr output.exr\n";
    const std::string appear =
        "Usage: radappear [-m mval] [-c cval] [-k kval] [-l lval] input.exr blur.exr output.exr\n";
    const std::string mask = "Usage: radmask input.exr blur.exr output.exr\n";
    const std::vector<std::string> two = {"IN", "OUT"}, three = {"IN", "BLUR", "OUT"};
    std::vector<program_row> rows = {
        exr("radreceptor", "radreceptor", two, receptor),
        exr("radreceptor-rgb", "radreceptor", two, receptor_c),
        exr("radreceptor-cone", "radreceptor", two, receptor_c),
        exr("radconereceptor", "radconereceptor", two,
            "Usage: radconereceptor [-f fval] [-m mval] [-a aval] input.exr output.exr\n"),
        exr("radhybrid", "radhybrid", three, hybrid),
        exr("radhybrid-inverse", "radhybrid", three, hybrid),
        exr("radmask", "radmask", three, mask),
        exr("radmask-cone", "radmask", three, mask),
        exr("radmask-modes", "radmask", {"IN", "BLUR", "OUT", "0", "0"},
            "Usage: radmask input.exr blur.exr output.exr test test2\n"),
        exr("radappear", "radappear", three, appear, "m 1000.000000, c 100.000000, k 0.588235, l 0.300000\n"),
        exr("radappear-cone", "radappear", three, appear, "m 100.000000, c 100.000000, k 0.588235, l 0.000100\n"),
        exr("radappear-sigmoid", "radappear", three, appear,
            "m 1000.000000, c 100.000000, k 0.588235, l 0.300000\n"),
        exr("radadapt", "radadapt", three, "Usage: radadapt input.exr blur.exr output.exr\n"),
        exr("radadapt-degree", "radadapt", {"IN", "BLUR", "OUT", "1"},
            "Usage: radadapt input.exr blur.exr output.exr degree_of_adaptation\n"),
        exr("radsoften", "radsoften", {"IN", "OUT", "0.05"}, "Usage: radsoften input.exr output.exr scalefactor\n"),
        exr("radrescale", "radrescale", two, "Usage: radrescale input.exr output.exr [minval]\n"),
        exr("radrescale-max", "radrescale", two, "Usage: radrescale input.exr output.exr [maxval]\n"),
        exr("radclamp", "radclamp", two, "Usage: radclamp input.exr output.exr\n"),
        // refuses the two names alone: "--" makes up the count
        exr("radconegamma", "radconegamma", {"--", "IN", "OUT"},
            "Usage: radconegamma [-n nval] input.exr output.exr\n", "radconegamma: n 0.730000\n"),
        exr("radbright", "radbright", two, "Usage: radbright input.exr output.exr\n"),
        exr("radtristim", "radtristim", two, "Usage: radtristim input.exr output.exr\n"),
        exr("radmean", "radmean", two, "Usage: radmean input.exr output.exr\n"),
        {"radraster", "radraster", two, "png", "Usage: radraster input.png output.exr\n", "",
         "pnginput: ", "radraster: Cannot open %s\n", "exroutput: ", "radraster: Cannot open %s\n"},
        {"radraster-raw", "radraster", two, "raw", "Usage: radraster input.png output.exr\n", "", "",
         "radraster: Cannot open %s\n", "exroutput: ", "radraster: Cannot open %s\n"},
        {"radjfif", "radjfif", two, "jpg", "Usage: radjfif input.jpg output.exr\n", "", "jpeginput: ",
         "radjfif: Cannot open %s\n", "exroutput: ", "radjfif: Cannot open %s\n"},
        {"radpixmap", "radpixmap", two, "ppm", "Usage: radpixmap input.ppm output.exr\n", "", "",
         "radpixmap: Cannot open %s\n", "exroutput: ", "radpixmap: Cannot open %s\n"},
        {"radexport", "radexport", two, "exr", "Usage: radexport input.exr output.png\n", "", "exrinput: ",
         "radexport: Cannot open %s\n", "pngoutput: ", "radexport: Cannot open %s.\n"},
        {"raddiff", "raddiff", {"IN", "BLUR"}, "exr", "Usage: raddiff input1.exr input2.exr\n", "",
         "exrinput: ", "raddiff: Cannot open %s.\n", "", ""},
        {"radsurvey", "radsurvey", {"IN", "OUT", "100"}, "exr", "Usage: radsurvey input.exr histogram.txt max\n",
         "", "exrinput: ", "radsurvey: Can't open file %s\n", "textoutput: ", "radsurvey: Can't open file %s\n",
         false},
    };
    return rows;
}

std::string with_path(std::string text, const std::string &path)
{
    size_t at = text.find("%s");
    return at == std::string::npos ? text : text.replace(at, 2, path);
}

// The inputs of every kind, 2 x 2 (the raw grid is its fixed size).
void write_inputs(const temp_dir &dir)
{
    write_exr(dir / "in.exr", uniform(2, 2, {0.5, 0.25, 0.125, 1}));
    write_exr(dir / "blur.exr", uniform(2, 2, {0.5, 0.5, 0.5, 1}));
    fixtures::png_image png;
    png.w = png.h = 2;
    png.rows.assign(12, 128);
    ASSERT_TRUE(fixtures::write_png(dir / "in.png", png));
    ASSERT_TRUE(fixtures::write_jpeg_ycbcr(dir / "in.jpg", 2, 2, std::vector<unsigned char>(12, 128)));
    write_file(dir / "in.ppm", "P6\n2 2\n255\n" + std::string(12, '\x80'));
    write_file(dir / "in.raw", std::string(768 * 512 * 4, '\0'));
}

std::vector<std::string> args_for(const program_row &p, const std::string &in, const std::string &blur,
                                  const std::string &out)
{
    std::vector<std::string> args;
    for (const std::string &a : p.args)
        args.push_back(a == "IN" ? in : a == "BLUR" ? blur : a == "OUT" ? out : a);
    return args;
}

} // namespace

TEST(SuiteCommandLine, EveryProgram)
{
    temp_dir dir;
    write_inputs(dir);
    for (const program_row &p : programs()) {
        SCOPED_TRACE(p.program);
        const std::string in = dir / ("in." + p.input), out = dir / "out";

        run_result r = run(p.program, {});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, p.usage);
        EXPECT_EQ(r.out, "");

        r = run(p.program, {"--help"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind(p.usage, 0), 0u) << r.out;
        EXPECT_NE(r.out.find("Manual page: " + p.program + "(1)\n"), std::string::npos) << r.out;
        r = run(p.program, {"--version"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, p.program + " (radsuite) 1.0\n");

        // an input that cannot be opened: the reader's line, then the program's
        const std::string missing = dir / ("missing." + p.input);
        r = run(p.program, args_for(p, missing, dir / "blur.exr", out));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        std::string tail = with_path(p.cannot_open, missing);
        EXPECT_EQ(r.err.rfind(p.before_open + p.reader, 0), 0u) << r.err;
        ASSERT_GE(r.err.size(), tail.size()) << r.err;
        EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail) << r.err;
        EXPECT_FALSE(exists(out));

        // an output that cannot be created: after the size line, before any
        // row is read (no progress line)
        if (p.writer.empty())
            continue;
        const std::string target = dir / "no/such/dir/out";
        r = run(p.program, args_for(p, in, dir / "blur.exr", target));
        EXPECT_EQ(r.status, 1);
        if (p.size_line) {
            EXPECT_EQ(r.out.rfind(p.family + ": " + in + " [", 0), 0u) << r.out;
        }
        tail = with_path(p.cannot_write, target);
        EXPECT_NE(r.err.find(p.writer), std::string::npos) << r.err;
        ASSERT_GE(r.err.size(), tail.size()) << r.err;
        EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail) << r.err;
        EXPECT_EQ(r.err.find('\r'), std::string::npos) << r.err;
    }
}
