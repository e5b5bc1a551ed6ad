// Raw PPM header and raster reading. Header lines are read into a
// 2048-character buffer; what a longer line holds beyond it is skipped.
#include "ppminput.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace {

// Reads one line, its newline included, into line. A line too long for it
// keeps its first 2047 characters and the rest is skipped, so that the tail
// of a long comment is not taken for the next header line, nor the tail of
// the maxval line for the raster. Returns false at the end of the file.
bool read_line(FILE *in, char (&line)[2048])
{
    size_t n = 0;
    int c = getc(in);
    if (c == EOF)
        return false;
    for (; c != EOF; c = getc(in)) {
        if (n + 1 < sizeof line)
            line[n++] = char(c);
        if (c == '\n')
            break;
    }
    line[n] = '\0';
    return true;
}

// Reads lines until one does not begin with '#'. Returns false at the end
// of the file.
bool read_header_line(FILE *in, char (&line)[2048])
{
    do {
        if (!read_line(in, line))
            return false;
    } while (line[0] == '#');
    return true;
}

} // namespace

bool ppminput_read_size(FILE *in, int *width, int *height)
{
    char line[2048];
    if (!read_line(in, line) || line[0] != 'P' || line[1] != '6')
        return false;
    if (!read_header_line(in, line) || sscanf(line, "%d %d\n", width, height) != 2)
        return false;
    return *width >= 1 && *height >= 1;
}

bool ppminput_size_ok(int width, int height)
{
    const int max_side = 1 << 20;
    return width <= max_side && height <= max_side && int64_t(width) * height <= INT_MAX;
}

bool ppminput_read_maxval(FILE *in, int *maxval)
{
    char line[2048];
    if (!read_header_line(in, line) || sscanf(line, "%d\n", maxval) != 1)
        return false;
    return *maxval >= 1 && *maxval <= 65535;
}

size_t ppminput_row_bytes(int width, int maxval)
{
    return size_t(width) * (maxval <= 255 ? 3 : 6);
}

size_t ppminput_read_row(FILE *in, unsigned char *raw, size_t bytes)
{
    size_t got = fread(raw, 1, bytes, in);
    memset(raw + got, 0, bytes - got);
    return got;
}
