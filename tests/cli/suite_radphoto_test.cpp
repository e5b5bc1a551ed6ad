// radphoto, the one-step photo helper: each kind of photograph gives exactly
// the PNG of its documented chain run step by step, with the programs found
// beside the script; refused inputs and failing steps leave the output as it
// was and no scratch files; --help, --version and the usage line.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "suite_kit.h"
#include "test_fixtures.h"
#include "testkit.h"

using namespace testkit;
using namespace suite;

namespace {

const char usage[] = "Usage: radphoto input.exr|input.png|input.jpg output.png [scale]\n";

// Runs the helper with only the system's folders on PATH and no SUITE_BIN,
// so that it must find the programs beside itself, and with its scratch
// folder in tmp (to see that it cleans up).
run_result run_radphoto(const std::vector<std::string> &args, const std::string &tmp)
{
    std::vector<std::string> command = {"/usr/bin/env", "-u", "SUITE_BIN", "PATH=/usr/bin:/bin",
                                        "TMPDIR=" + tmp, program_path("radphoto")};
    command.insert(command.end(), args.begin(), args.end());
    return run_command(command);
}

// Runs one step of a chain by hand; a failure fails the test.
void run_ok(const std::string &program, const std::vector<std::string> &args)
{
    run_result r = run(program, args);
    ASSERT_EQ(r.status, 0) << program << "\n" << r.err;
}

// The three kinds of input, 16 x 8, with dark and bright areas so that the
// mask has something to lift and tame: an HDR EXR up to 40, and the same
// ramps as 8-bit PNG and JPEG samples.
void write_photographs(const temp_dir &dir)
{
    const int w = 16, h = 8;
    std::vector<rgba_t> px;
    fixtures::png_image png;
    png.w = w;
    png.h = h;
    std::vector<unsigned char> ycc;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            double v = 0.01 * std::pow(4000.0, (x + y * w) / double(w * h - 1));
            px.push_back({v, 0.5 * v, 0.25 * v + 0.01, 1});
            auto byte = [](double s) { return (unsigned char)(s > 1 ? 255 : s * 255); };
            png.rows.insert(png.rows.end(), {byte(v / 4), byte(v / 8), byte(v / 16)});
            ycc.insert(ycc.end(), {(unsigned char)(x * 16), (unsigned char)(100 + y), 140});
        }
    write_exr(dir / "photo", pixels(w, h, px));
    ASSERT_TRUE(fixtures::write_png(dir / "photo-png", png));
    ASSERT_TRUE(fixtures::write_jpeg_ycbcr(dir / "photo-jpeg", w, h, ycc));
}

} // namespace

TEST(Radphoto, EachKindGivesThePngOfItsChain)
{
    // The files carry no extension (or a wrong one): the first bytes decide.
    const struct {
        std::string input;
        std::string scale; // "" for the default
        std::vector<std::string> import; // first step; "IN" and "A" stand for the paths
    } cases[] = {
        {"photo", "", {"radreceptor", "-a", "0", "IN", "A"}},
        {"photo", "0.2", {"radreceptor", "-a", "0", "IN", "A"}},
        {"photo-png", "", {"radraster", "IN", "A"}},
        {"photo-jpeg", "", {"radjfif", "IN", "A"}},
    };
    temp_dir dir;
    write_photographs(dir);
    std::string tmp = dir / "tmp";
    ASSERT_TRUE(std::filesystem::create_directory(tmp));
    for (const auto &c : cases) {
        std::string in = dir / c.input, out = dir / "out.png";
        std::vector<std::string> args = {in, out};
        if (!c.scale.empty())
            args.push_back(c.scale);
        run_result r = run_radphoto(args, tmp);
        EXPECT_EQ(r.status, 0) << c.input << "\n" << r.err;
        EXPECT_EQ(r.out, "") << c.input;
        EXPECT_EQ(r.err, "") << c.input;
        EXPECT_EQ(names_in(tmp), std::vector<std::string>{}) << c.input;

        std::string a = dir / "a.exr", b = dir / "b.exr", m = dir / "m.exr", want = dir / "want.png";
        std::vector<std::string> import(c.import.begin() + 1, c.import.end());
        for (std::string &arg : import)
            arg = arg == "IN" ? in : arg == "A" ? a : arg;
        run_ok(c.import[0], import);
        run_ok("radsoften", {a, b, c.scale.empty() ? "0.05" : c.scale});
        run_ok("radmask", {a, b, m});
        run_ok("radexport", {m, want});
        EXPECT_TRUE(slurp(out) == slurp(want)) << c.input << ": not the chain's PNG";
    }
}

TEST(Radphoto, RefusedOrFailedRunsLeaveTheOutputAsItWas)
{
    temp_dir dir;
    write_photographs(dir);
    write_file(dir / "notes.txt", "not a picture\n");
    write_file(dir / "bad.png", std::string("\x89PNG\r\n\x1a\n", 8) + "no chunks");
    write_file(dir / "bad.exr", std::string("\x76\x2f\x31\x01", 4) + "no header");
    std::string tmp = dir / "tmp";
    ASSERT_TRUE(std::filesystem::create_directory(tmp));
    const struct {
        std::vector<std::string> args; // "OUT" stands for the output's path
        std::string err_end;           // how standard error ends
    } cases[] = {
        {{dir / "missing", "OUT"}, "radphoto: Cannot open " + (dir / "missing") + ".\n"},
        {{tmp, "OUT"}, "radphoto: Cannot open " + tmp + ".\n"},
        {{dir / "notes.txt", "OUT"}, "radphoto: " + (dir / "notes.txt") + " is not an EXR, PNG or JPEG file\n"},
        {{dir / "bad.png", "OUT"}, "radphoto: radraster failed on " + (dir / "bad.png") + "\n"},
        {{dir / "bad.exr", "OUT"}, "radphoto: radreceptor failed on " + (dir / "bad.exr") + "\n"},
        {{dir / "photo", "OUT", "0,05"}, "radphoto: scale must be a number above 0, not 0,05\n"},
        {{dir / "photo", "OUT", "0"}, "radphoto: scale must be a number above 0, not 0\n"},
        {{dir / "photo", "OUT", "-1"}, "radphoto: scale must be a number above 0, not -1\n"},
        {{dir / "photo", dir / "no/such/folder/out.png"},
         "radphoto: radexport failed on " + (dir / "photo") + "\n"},
    };
    for (const auto &c : cases) {
        std::string out = dir / "out.png";
        write_file(out, "earlier\n");
        std::vector<std::string> args = c.args;
        for (std::string &arg : args)
            if (arg == "OUT")
                arg = out;
        run_result r = run_radphoto(args, tmp);
        std::string what = args[0] + " " + args[1];
        EXPECT_EQ(r.status, 1) << what;
        EXPECT_EQ(r.out, "") << what;
        ASSERT_GE(r.err.size(), c.err_end.size()) << what << "\n" << r.err;
        EXPECT_EQ(r.err.substr(r.err.size() - c.err_end.size()), c.err_end) << r.err;
        EXPECT_EQ(slurp(out), "earlier\n") << what;
        EXPECT_EQ(names_in(tmp), std::vector<std::string>{}) << what;
    }
}

TEST(Radphoto, HelpVersionAndUsage)
{
    temp_dir dir;
    run_result help = run_radphoto({"--help"}, dir.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.substr(0, sizeof usage - 1), usage);
    EXPECT_NE(help.out.find("(default 0.05)"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("radphoto(1)"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");

    run_result version = run_radphoto({"--version"}, dir.path());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "radphoto (" SUITE_NAME ") " SUITE_VERSION "\n");
    EXPECT_EQ(version.err, "");

    for (const std::vector<std::string> &args : {std::vector<std::string>{}, {dir / "photo"}}) {
        run_result r = run_radphoto(args, dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, usage);
    }
}
