// The command-line failures every filter shares: too few arguments, an input
// that cannot be opened and an output that cannot be created.
#include <gtest/gtest.h>

#include "testkit.h"

using namespace testkit;

namespace {

// Each program with its usage text, the name it prints under and what it
// prints before opening its input.
const struct {
    const char *program, *name, *usage, *prefix;
} filters[] = {
    {"radrescale", "radrescale", "Usage: radrescale input.exr output.exr [minval]\n", ""},
    {"radrescale-max", "radrescale", "Usage: radrescale input.exr output.exr [maxval]\n", ""},
    {"radclamp", "radclamp", "Usage: radclamp input.exr output.exr\n", ""},
    {"radconegamma", "radconegamma", "Usage: radconegamma [-n nval] input.exr output.exr\n",
     "radconegamma: n 0.730000\n"},
    {"radbright", "radbright", "Usage: radbright input.exr output.exr\n", ""},
    {"radtristim", "radtristim", "Usage: radtristim input.exr output.exr\n", ""},
    {"radmean", "radmean", "Usage: radmean input.exr output.exr\n", ""},
};

// radconegamma refuses the two names alone; "--" makes up the count.
std::vector<std::string> command(const char *program, std::vector<std::string> names)
{
    if (std::string(program) == "radconegamma")
        names.insert(names.begin(), "--");
    return names;
}

} // namespace

TEST(Filters, TooFewArgumentsPrintUsage)
{
    for (const auto &f : filters) {
        run_result r = run(f.program, {"in.exr"});
        EXPECT_EQ(r.status, 1) << f.program;
        EXPECT_EQ(r.err, f.usage);
        EXPECT_EQ(r.out, "");
    }
}

TEST(Filters, MissingInput)
{
    for (const auto &f : filters) {
        SCOPED_TRACE(f.program);
        temp_dir dir;
        run_result r = run(f.program, command(f.program, {dir / "missing.exr", dir / "out.exr"}));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        std::string prefix = f.prefix;
        ASSERT_EQ(r.err.rfind(prefix + "exrinput: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.substr(r.err.find('\n', prefix.size()) + 1),
                  std::string(f.name) + ": Cannot open " + (dir / "missing.exr") + ".\n");
        EXPECT_FALSE(exists(dir / "out.exr"));
    }
}

TEST(Filters, UncreatableOutput)
{
    for (const auto &f : filters) {
        SCOPED_TRACE(f.program);
        temp_dir dir;
        write_exr(dir / "in.exr", uniform(2, 2, {0.5, 0.5, 0.5, 1}));
        std::string target = dir / "no/such/dir/out.exr";
        run_result r = run(f.program, command(f.program, {dir / "in.exr", target}));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, std::string(f.name) + ": " + (dir / "in.exr") + " [2x2]\n");
        std::string prefix = f.prefix;
        ASSERT_EQ(r.err.rfind(prefix + "exroutput: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.substr(r.err.find('\n', prefix.size()) + 1),
                  std::string(f.name) + ": Cannot open " + target + ".\n");
    }
}
