// Row-at-a-time writer of RGBA half-float EXR images (PIZ, increasing y).
// Rows go to a temporary file beside the target, which replaces the target
// only when every row has been written and the file closed cleanly: a failed
// or interrupted run never leaves a partial image under the target's name,
// and a program may write over its own input.
#ifndef EXROUTPUT_H
#define EXROUTPUT_H

#include "rgba.h"

struct exroutput_t;

// Creates an output of width x height for path. On failure prints
// "exroutput: <reason>\n" on stderr and returns null.
[[nodiscard]] exroutput_t *exroutput_new(const char *path, int width, int height);

// Writes the next row, top first. The caller's width pixels are only read.
// Negative, NaN and infinite (in single precision) values are stored as 0.
// A refused write is reported on stderr once and fails exroutput_delete.
void exroutput_write_scanline(exroutput_t *out, const rgba_t *pixels);

// Completes the file and moves it over the target when all rows were written
// without error, returning 0; otherwise removes the temporary file and
// returns 1 (after a message if rows were refused or the close failed).
// An output deleted before its last row is discarded silently. Null gives 0.
int exroutput_delete(exroutput_t *out);

#endif
