// Raw PPM header and raster reading. Header lines are read with fgets into a
// 2048-character buffer, so a longer line is read in pieces.
#include "ppminput.h"

#include <cstring>

namespace {

// Reads lines until one does not begin with '#'. Returns false at the end
// of the file.
bool read_header_line(FILE *in, char (&line)[2048])
{
    do {
        if (!fgets(line, sizeof line, in))
            return false;
    } while (line[0] == '#');
    return true;
}

} // namespace

bool ppminput_read_size(FILE *in, int *width, int *height)
{
    char line[2048];
    if (!fgets(line, sizeof line, in) || line[0] != 'P' || line[1] != '6')
        return false;
    if (!read_header_line(in, line) || sscanf(line, "%d %d\n", width, height) != 2)
        return false;
    return *width >= 1 && *height >= 1;
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
