// Outputs that never lose data, over one writer of each kind: an EXR writer
// of every family, radexport's PNG and radsurvey's text file. A run that
// fails on a full disk or is stopped by a signal leaves an earlier file at
// the target as it was and no temporary file; the input may be the output;
// an output that cannot be created is reported before any row is read.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "suite_kit.h"
#include "test_fixtures.h"
#include "testkit.h"

using namespace testkit;
using namespace suite;

namespace {

struct writer {
    std::string program;
    std::vector<std::string> args; // "IN", "PNG" and "OUT" stand for the paths
};

const writer writers[] = {
    {"radreceptor", {"IN", "OUT"}},
    {"radmask", {"IN", "IN", "OUT"}},
    {"radsoften", {"IN", "OUT", "0.05"}},
    {"radbright", {"IN", "OUT"}},
    {"radraster", {"PNG", "OUT"}},
    {"radexport", {"IN", "OUT"}},
    {"radsurvey", {"IN", "OUT", "100"}},
};

std::string extension(const writer &wr)
{
    return wr.program == "radexport" ? ".png" : wr.program == "radsurvey" ? ".txt" : ".exr";
}

std::vector<std::string> args_for(const writer &wr, const std::string &in, const std::string &png,
                                  const std::string &out)
{
    std::vector<std::string> args;
    for (const std::string &a : wr.args)
        args.push_back(a == "IN" ? in : a == "PNG" ? png : a == "OUT" ? out : a);
    return args;
}

// The inputs every writer reads: the same noise as EXR and as an 8-bit PNG.
void write_inputs(const temp_dir &dir, int w, int h)
{
    image img = noise(w, h);
    write_exr(dir / "in.exr", img);
    fixtures::png_image png;
    png.w = w;
    png.h = h;
    for (const rgba_t &p : img.px)
        for (double v : {p.r, p.g, p.b})
            png.rows.push_back((unsigned char)(v * 255));
    ASSERT_TRUE(fixtures::write_png(dir / "in.png", png));
}

} // namespace

TEST(SuiteOutputs, FullDiskFailsAndLeavesTheEarlierFile)
{
    temp_dir dir;
    write_inputs(dir, 256, 128);
    for (const writer &wr : writers) {
        std::string target = dir / ("out" + extension(wr));
        write_file(target, "earlier\n");
        std::vector<std::string> before = names_in(dir.path());
        // 4 KiB: room for a header, not for the rows or the 1024 lines
        run_result r = run_limited(wr.program, args_for(wr, dir / "in.exr", dir / "in.png", target), 4);
        EXPECT_EQ(r.status, 1) << wr.program << "\n" << r.err;
        EXPECT_NE(r.err.find(target), std::string::npos) << wr.program << "\n" << r.err;
        EXPECT_NE(r.err.find("File too large"), std::string::npos) << wr.program << "\n" << r.err;
        EXPECT_EQ(slurp(target), "earlier\n") << wr.program;
        EXPECT_EQ(names_in(dir.path()), before) << wr.program;
    }
}

TEST(SuiteOutputs, InputMayBeTheOutput)
{
    temp_dir dir;
    write_inputs(dir, 40, 30);
    for (const writer &wr : writers) {
        if (extension(wr) != ".exr" || wr.program == "radraster")
            continue;
        run_result r = run(wr.program, args_for(wr, dir / "in.exr", "", dir / "apart.exr"));
        ASSERT_EQ(r.status, 0) << wr.program << "\n" << r.err;
        std::filesystem::copy_file(dir / "in.exr", dir / "same.exr",
                                   std::filesystem::copy_options::overwrite_existing);
        r = run(wr.program, args_for(wr, dir / "same.exr", "", dir / "same.exr"));
        EXPECT_EQ(r.status, 0) << wr.program << "\n" << r.err;
        expect_image_near(read_exr(dir / "same.exr"), read_exr(dir / "apart.exr"), 0);
    }
}

// Stopped mid-run by a signal it can catch or not (SIGKILL), or by SIGPIPE
// when its stderr reader has gone: the target is as it was and nothing is
// left beside it, since the temporary file has no name.
TEST(SuiteOutputs, InterruptedRunLeavesTheEarlierFile)
{
    temp_dir dir;
    // big enough that every writer takes a moment after creating its output
    write_inputs(dir, 1024, 768);
    for (const writer &wr : writers) {
        std::string target = dir / ("out" + extension(wr));
        std::vector<std::string> args = args_for(wr, dir / "in.exr", dir / "in.png", target);
        for (int sig : {SIGTERM, SIGQUIT, SIGPIPE, SIGKILL}) {
            write_file(target, "earlier\n");
            std::vector<std::string> before = names_in(dir.path());
            // a fast run may finish before the signal: then try again
            bool stopped = false;
            for (int attempt = 0; attempt < 3 && !stopped; attempt++) {
                write_file(target, "earlier\n");
                stopped = interrupt_while_writing(wr.program, args, dir.path(), sig);
            }
            EXPECT_TRUE(stopped) << wr.program << " always finished before it could be stopped";
            EXPECT_EQ(slurp(target), "earlier\n") << wr.program << " " << strsignal(sig);
            EXPECT_EQ(names_in(dir.path()), before) << wr.program << " " << strsignal(sig);
        }
        // `program ... 2>&1 | head -c 1`: the next message meets a closed pipe
        std::vector<std::string> command = {
            "/bin/bash", "-c", "\"$0\" \"$@\" 2>&1 | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}",
            program_path(wr.program)};
        command.insert(command.end(), args.begin(), args.end());
        write_file(target, "earlier\n");
        std::vector<std::string> before = names_in(dir.path());
        run_result r = run_command(command);
        EXPECT_EQ(r.status, 128 + SIGPIPE) << wr.program;
        EXPECT_EQ(slurp(target), "earlier\n") << wr.program;
        EXPECT_EQ(names_in(dir.path()), before) << wr.program;
    }
}

TEST(SuiteOutputs, UncreatableOutputIsReportedBeforeAnyRowIsRead)
{
    temp_dir dir;
    write_inputs(dir, 16, 12);
    std::filesystem::create_directory(dir / "taken.exr");
    for (const writer &wr : writers) {
        for (const std::string &target : {dir / "no/such/dir/out", dir / "taken.exr"}) {
            run_result r = run(wr.program, args_for(wr, dir / "in.exr", dir / "in.png", target));
            EXPECT_EQ(r.status, 1) << wr.program;
            // the message names the user's path, and no row was read yet,
            // so no progress line was printed
            EXPECT_NE(r.err.find(target), std::string::npos) << wr.program << "\n" << r.err;
            EXPECT_EQ(r.err.find('\r'), std::string::npos) << wr.program << "\n" << r.err;
            EXPECT_EQ(r.err.find("/."), std::string::npos) << wr.program << "\n" << r.err;
        }
    }
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"in.exr", "in.png", "taken.exr"}));
}
