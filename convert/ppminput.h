// Reading raw PPM files (magic P6) line by line: the header as the suite
// accepts it (magic line, size line, maxval line, each optionally preceded
// by lines beginning with '#'), then the raster one row at a time.
#ifndef PPMINPUT_H
#define PPMINPUT_H

#include <cstddef>
#include <cstdio>

// Reads the magic line and the size line from the start of in. Returns false
// when the file is not valid: a magic line not starting with "P6", no size
// line, a size line without two integers, or a width or height below 1.
[[nodiscard]] bool ppminput_read_size(FILE *in, int *width, int *height);

// Whether a width x height image may be converted: each side at most 2^20
// pixels (the most the suite's EXR reader accepts) and no more pixels than
// an int can count. The raster is streamed, but a row of a hostile width
// would still be allocated, and a hostile height would run for hours.
[[nodiscard]] bool ppminput_size_ok(int width, int height);

// Reads the maxval line after the size line, leaving in at the first byte
// of the raster. Returns false when there is no such line, it holds no
// integer, or the value lies outside 1 ... 65535.
[[nodiscard]] bool ppminput_read_maxval(FILE *in, int *maxval);

// Bytes of one raster row: 3 a pixel for maxval up to 255, else 6 (two
// bytes a sample, most significant first).
size_t ppminput_row_bytes(int width, int maxval);

// Reads the next row of `bytes` bytes into raw. Returns the number of bytes
// the file still held; the rest of raw is set to zero.
size_t ppminput_read_row(FILE *in, unsigned char *raw, size_t bytes);

// Sample i (0 is pixel 0's red) of a row read with maxval.
inline unsigned ppminput_sample(const unsigned char *raw, size_t i, int maxval)
{
    if (maxval <= 255)
        return raw[i];
    return unsigned(raw[2 * i]) << 8 | raw[2 * i + 1];
}

#endif
