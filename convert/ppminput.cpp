// Raw PPM header and raster reading. Header lines are read into a
// 2048-character buffer; what a longer line holds beyond it is skipped.
#include "ppminput.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

struct ppminput {
    FILE *file = nullptr;
    int width = 0, height = 0, maxval = 0;
    int row = 0; // the next row to read
    input_damage damage;
};

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

ppminput *ppminput_new(const char *path)
{
    ppminput *in = new (std::nothrow) ppminput;
    if (!in) {
        errno = ENOMEM;
        return nullptr;
    }
    in->file = fopen(path, "r");
    if (!in->file) {
        int err = errno;
        delete in;
        errno = err;
        return nullptr;
    }
    in->damage.module = "ppminput";
    in->damage.path = path;
    return in;
}

bool ppminput_read_size(ppminput *in, int *width, int *height)
{
    char line[2048];
    if (!read_line(in->file, line) || line[0] != 'P' || line[1] != '6')
        return false;
    if (!read_header_line(in->file, line) || sscanf(line, "%d %d\n", width, height) != 2)
        return false;
    in->width = *width;
    in->height = in->damage.height = *height;
    return *width >= 1 && *height >= 1;
}

bool ppminput_size_ok(int width, int height)
{
    const int max_side = 1 << 20;
    return width <= max_side && height <= max_side && int64_t(width) * height <= INT_MAX;
}

bool ppminput_read_maxval(ppminput *in, int *maxval)
{
    char line[2048];
    if (!read_header_line(in->file, line) || sscanf(line, "%d\n", maxval) != 1)
        return false;
    in->maxval = *maxval;
    return *maxval >= 1 && *maxval <= 65535;
}

size_t ppminput_row_bytes(int width, int maxval)
{
    return size_t(width) * (maxval <= 255 ? 3 : 6);
}

size_t ppminput_read_row(ppminput *in, unsigned char *raw)
{
    size_t bytes = ppminput_row_bytes(in->width, in->maxval);
    size_t got = fread(raw, 1, bytes, in->file);
    memset(raw + got, 0, bytes - got);
    if (got < bytes)
        in->damage.add_row(in->row, "the file ends there");
    in->row++;
    return got;
}

const input_damage *ppminput_get_damage(const ppminput *in)
{
    return &in->damage;
}

void ppminput_delete(ppminput *in)
{
    if (!in)
        return;
    if (in->file)
        fclose(in->file);
    delete in;
}
