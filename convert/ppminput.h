// Reading raw PPM files (magic P6): the header as the format writes it
// (width, height and maxval between any whitespace and comments, on one
// line or several), then the raster one row at a time. The file is read
// once from start to end, so a pipe or a FIFO serves as well. The reader
// counts the rows the file holds too little data for.
#ifndef PPMINPUT_H
#define PPMINPUT_H

#include <cstddef>
#include <cstdio>
#include <memory>

#include "damage.h"

struct ppminput;

// Opens path for reading. Returns null with errno set when it cannot be
// opened (nothing is printed). The caller owns the handle until
// ppminput_delete.
[[nodiscard]] ppminput *ppminput_new(const char *path);

// Reads the header up to the raster and gives its width and height.
// Tokens are decimal numbers (a '+' allowed) separated by any whitespace;
// a comment runs from '#' to the end of its line, anywhere before the
// maxval; exactly one whitespace byte follows the maxval. As the suite read
// headers line by line before, junk after "P6" on its line makes the rest
// of that line ignored, and so does junk after the height on its line.
// Returns false when the file is not valid: no "P6" at the start (see
// ppminput_get_magic), no width or height, a number that overflows an int,
// or a width or height below 1.
[[nodiscard]] bool ppminput_read_size(ppminput *in, int *width, int *height);

// The byte after 'P' of a file of another Netpbm kind, once
// ppminput_read_size has refused it: '1' ... '5' and '7' (PBM, PGM, PPM in
// their plain and raw forms, PAM), 'F' and 'f' (colour and grey PFM); 0
// for anything else.
int ppminput_get_magic(const ppminput *in);

// Whether a width x height image may be converted: each side at most 2^20
// pixels (the most the suite's EXR reader accepts) and no more pixels than
// an int can count. The raster is streamed, but a row of a hostile width
// would still be allocated, and a hostile height would run for hours.
[[nodiscard]] bool ppminput_size_ok(int width, int height);

// The maxval of the header ppminput_read_size read, the reader standing at
// the first byte of the raster. Returns false when there is none, it is
// not a number, or it lies outside 1 ... 65535.
[[nodiscard]] bool ppminput_read_maxval(ppminput *in, int *maxval);

// Bytes of one raster row: 3 a pixel for maxval up to 255, else 6 (two
// bytes a sample, most significant first).
size_t ppminput_row_bytes(int width, int maxval);

// Reads the next row (after a successful ppminput_read_maxval) into raw,
// ppminput_row_bytes bytes. Returns the number of bytes the file still
// held; the rest of raw is set to zero, and a row not held whole counts
// as damage.
size_t ppminput_read_row(ppminput *in, unsigned char *raw);

// The rows the file held too little data for; owned by the handle.
const input_damage *ppminput_get_damage(const ppminput *in);

// Closes the file and releases the handle; null is allowed.
void ppminput_delete(ppminput *in);

struct ppminput_closer {
    void operator()(ppminput *in) const { ppminput_delete(in); }
};
using ppminput_ptr = std::unique_ptr<ppminput, ppminput_closer>;

// Sample i (0 is pixel 0's red) of a row read with maxval.
inline unsigned ppminput_sample(const unsigned char *raw, size_t i, int maxval)
{
    if (maxval <= 255)
        return raw[i];
    return unsigned(raw[2 * i]) << 8 | raw[2 * i + 1];
}

#endif
