// radsurvey run as a program: the histogram file of v = 0.588 FL, its lines on
// standard error, and a file put in place only by a complete run.
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

#include "testkit.h"

using namespace testkit;

namespace {

// The 1024 lines "i/1023 count" with the given non-zero counters.
std::string histogram(const std::map<int, int> &counts)
{
    std::string s;
    for (int i = 0; i < 1024; i++) {
        auto it = counts.find(i);
        s += format("%f %d\n", i / 1023.0, it == counts.end() ? 0 : it->second);
    }
    return s;
}

size_t files_in(const std::string &dir)
{
    size_t n = 0;
    for (auto &e : std::filesystem::directory_iterator(dir))
        (void)e, n++;
    return n;
}

rgba_t grey(double v)
{
    return {v, v, v, 1};
}

} // namespace

TEST(Radsurvey, HistogramOfTheAdaptationFactor)
{
    const struct {
        const char *name;
        std::vector<rgba_t> in;
        const char *max;
        std::map<int, int> counts;
        int sum;
    } cases[] = {
        // FL(100) = 0.794: v = 0.467, the nearest bin 477
        {"max 100", {grey(1), grey(0.18), grey(0.01)}, "100", {{477, 1}, {270, 1}, {103, 1}}, 3},
        // every v is 0 for black, a scale 0 or a scale that is not a number
        {"black", {grey(0), grey(0), grey(0)}, "100", {{0, 3}}, 3},
        {"scale 0", {grey(1), grey(0.5), grey(0.25)}, "0", {{0, 3}}, 3},
        {"scale not a number", {grey(1), grey(0.5), grey(0.25)}, "bright", {{0, 3}}, 3},
        // v slightly above 1 (bin 1029) is counted nowhere
        {"above the last bin", {grey(1), grey(0), grey(0)}, "1000", {{0, 2}}, 2},
        // a negative luminance gives no v at all
        {"negative luminance", {grey(-1), grey(0), grey(0)}, "100", {{0, 2}}, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        temp_dir dir;
        write_exr(dir / "in.exr", pixels(3, 1, c.in));
        run_result r = run("radsurvey", {dir / "in.exr", dir / "h.txt", c.max});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("radsurvey: File is 3x1\n" + format("max is %f\n", atof(c.max)), 0), 0u)
            << r.err;
        EXPECT_EQ(r.err.substr(r.err.rfind("sum is")), format("sum is %d, pixels 3\n", c.sum));
        EXPECT_EQ(slurp(dir / "h.txt"), histogram(c.counts));
    }
}

TEST(Radsurvey, RangeOfV)
{
    temp_dir dir;
    write_exr(dir / "in.exr", uniform(2, 2, grey(0)));
    run_result r = run("radsurvey", {dir / "in.exr", dir / "h.txt", "100"});
    EXPECT_EQ(r.err, "radsurvey: File is 2x2\nmax is 100.000000\nmin 0.000000, max 0.000000\n"
                     "sum is 4, pixels 4\n");
    std::string text = slurp(dir / "h.txt");
    EXPECT_EQ(text.substr(0, 20), "0.000000 4\n0.000978 ");
    EXPECT_EQ(text.substr(text.size() - 11), "1.000000 0\n");

    // the largest v goes past 1 with max 1000; a negative luminance enters
    // neither extreme
    write_exr(dir / "in.exr", pixels(2, 1, {grey(1), grey(-1)}));
    r = run("radsurvey", {dir / "in.exr", dir / "h.txt", "1000"});
    // x = 5000, k4 = 1/5001^4 is negligible: v = 0.588 * 0.1 * 5000^(1/3)
    double v = 0.0588 * std::cbrt(5000.0);
    EXPECT_EQ(r.err.substr(r.err.find("min ")), format("min %f, max %f\n", v, v) +
                                                     "sum is 0, pixels 2\n");
}

TEST(Radsurvey, FailedAndDamagedRuns)
{
    temp_dir dir;
    write_exr(dir / "in.exr", uniform(2, 2, grey(0.5)));

    // too few arguments: usage, nothing created
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{}, {dir / "in.exr"}, {dir / "in.exr", dir / "h.txt"}}) {
        run_result r = run("radsurvey", args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Usage: radsurvey input.exr histogram.txt max\n");
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(exists(dir / "h.txt"));

    run_result r = run("radsurvey", {dir / "missing.exr", dir / "h.txt", "100"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("exrinput: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.substr(r.err.find('\n') + 1),
              "radsurvey: Can't open file " + (dir / "missing.exr") + "\n");

    for (auto [target, reason] : {std::pair<std::string, std::string>{dir / "no/such/dir/h.txt", "No such file or directory"},
                                  {dir.path(), "Is a directory"}}) {
        r = run("radsurvey", {dir / "in.exr", target, "100"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "radsurvey: File is 2x2\ntextoutput: Cannot open " + target + ": " + reason +
                             "\nradsurvey: Can't open file " + target + "\n");
    }

    // An input whose rows cannot all be read is read to its end, but its
    // histogram is not written: the earlier file stays, and no temporary
    // file is left beside it.
    std::vector<rgba_t> noise;
    for (int i = 0; i < 64 * 64; i++)
        noise.push_back(grey(std::fmod(i * 0.6180339887, 1.0)));
    write_exr(dir / "damaged.exr", pixels(64, 64, noise));
    std::filesystem::resize_file(dir / "damaged.exr",
                                 std::filesystem::file_size(dir / "damaged.exr") * 2 / 3);
    {
        FILE *f = fopen((dir / "h.txt").c_str(), "w");
        fputs("earlier\n", f);
        fclose(f);
    }
    size_t before = files_in(dir.path());
    r = run("radsurvey", {dir / "damaged.exr", dir / "h.txt", "100"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.rfind("radsurvey: File is 64x64\nmax is 100.000000\n", 0), 0u) << r.err;
    EXPECT_EQ(slurp(dir / "h.txt"), "earlier\n");
    EXPECT_NE(r.err.find("sum is 4096, pixels 4096\n\nexrinput: " + (dir / "damaged.exr") + ": "),
              std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" rows could not be read, the first row "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\nradsurvey: " + (dir / "h.txt") + " was not written.\n"), std::string::npos)
        << r.err;
    EXPECT_EQ(files_in(dir.path()), before);
}
