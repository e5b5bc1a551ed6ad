// Row-at-a-time writer of RGBA half-float EXR images (PIZ, increasing y).
// The file is opened through the suite's write policy (outfile.h): rows go
// to a temporary file that replaces the target only when exroutput_commit
// completes it, so a failed or interrupted run leaves the target as it was
// and a program may write over its own input.
#ifndef EXROUTPUT_H
#define EXROUTPUT_H

#include "rgba.h"

struct exroutput_t;

// Creates an output of width x height for path. On failure prints
// "exroutput: <reason>\n" on stderr and returns null; a target that cannot
// seek (a pipe, a FIFO) is refused here, before any row is computed.
[[nodiscard]] exroutput_t *exroutput_new(const char *path, int width, int height);

// Writes the next row, top first. The caller's width pixels are only read.
// Negative and NaN values are stored as 0, values above 65504 (the largest
// finite half, infinity included) as 65504.
// A refused write is reported on stderr once and fails exroutput_commit.
void exroutput_write_scanline(exroutput_t *out, const rgba_t *pixels);

// Completes the file and moves it over the target. Returns 0, or 1 when
// rows are missing or were refused, or the file could not be completed
// (after a message for the last two); the target is then as it was.
[[nodiscard]] int exroutput_commit(exroutput_t *out);

// The path the output was created for.
const char *exroutput_get_path(const exroutput_t *out);

// Releases the output; one that was not committed is discarded and leaves
// the target as it was. Null is allowed.
void exroutput_delete(exroutput_t *out);

// How rows are converted to halves: with the processor's conversion
// instructions where it has them (the default), or channel by channel in
// portable code, so that tests can hold each against the other. Both give
// the same bits.
enum exroutput_conversion { EXROUTPUT_FASTEST, EXROUTPUT_PORTABLE };
void exroutput_select(exroutput_conversion kind);

#endif
