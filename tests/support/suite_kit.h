// Helpers of the suite-wide reliability tests: running a program under a
// file-size limit, stopping one while it writes, listing what a directory
// holds, and small fixtures shared by the tables.
#ifndef SUITE_KIT_H
#define SUITE_KIT_H

#include <string>
#include <vector>

#include "testkit.h"

namespace suite {

// Runs build/bin/<program> with args under a file-size limit of kbytes KiB,
// with SIGXFSZ ignored, so that a write past it fails with EFBIG as on a
// full disk.
testkit::run_result run_limited(const std::string &program, const std::vector<std::string> &args,
                                int kbytes);

// Starts build/bin/<program> with args, waits until it holds a temporary
// output file open in dir (unnamed or named), then sends it sig. Returns
// true when the program died of the signal, false when it had already
// finished (or was not seen writing within 60 s).
bool interrupt_while_writing(const std::string &program, const std::vector<std::string> &args,
                             const std::string &dir, int sig);

// What a run cost: its wall time, and the largest resident set of the
// shell and of everything it started, as wait4 reports it.
struct run_cost {
    double seconds = 0;
    long max_rss_kb = 0;
};

// Runs script with /bin/sh -c and no standard input (a pipeline such as
// "cat in.png | prog /dev/stdin out.exr", or a FIFO fed in the background),
// capturing status, stdout and stderr; the cost goes to *cost when given.
testkit::run_result run_shell(const std::string &script, run_cost *cost = nullptr);

// A w x h image of values that do not compress: every pixel different.
testkit::image noise(int w, int h);

} // namespace suite

#endif
