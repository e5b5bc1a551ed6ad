// Raw PPM header and raster reading. The header is read byte by byte as
// the format defines it: the magic number, then width, height and maxval
// as decimal numbers between any whitespace, with comments from '#' to the
// end of the line anywhere before the maxval, and exactly one whitespace
// byte after it. Headers the suite read line by line before keep their
// reading: junk after "P6" on the magic line (the line is then skipped
// whole, numbers included), junk after the height on its line and after
// the maxval (the rest of that line is skipped).
#include "ppminput.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

struct ppminput {
    FILE *file = nullptr;
    int width = 0, height = 0, maxval = 0;
    int magic = 0;           // the byte after 'P' when the file starts with 'P'
    bool maxval_ok = false;  // the header went on to a valid maxval
    int line = 0;            // newlines read so far
    int row = 0;             // the next row to read
    input_damage damage;
};

namespace {

int next_byte(ppminput *in)
{
    int c = getc(in->file);
    if (c == '\n')
        in->line++;
    return c;
}

bool is_space(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(int c)
{
    return c >= '0' && c <= '9';
}

// Reads up to the end of the line, its newline included.
void skip_line(ppminput *in)
{
    int c;
    do
        c = next_byte(in);
    while (c != '\n' && c != EOF);
}

// One number of the header.
enum class token {
    number,   // in value (above INT_MAX: overflow instead)
    overflow, // digits worth more than an int holds, never wrapped
    junk,     // something else where a number belongs
    end,      // the file ends first
};

struct number {
    token kind = token::end;
    int value = 0;
    int line = 0;  // the line it starts on (0 is the magic line)
    int after = 0; // the byte read after its digits, EOF included
};

// Skips whitespace and comments, then reads a decimal number with an
// optional '+' (as the suite's earlier sscanf reading took it). The byte
// that ends the number is read too; a '#' there starts a comment, which is
// skipped (after a maxval a '#' is not a comment: see read_header).
number read_number(ppminput *in, bool comment_after)
{
    number n;
    int c = next_byte(in);
    while (is_space(c) || c == '#') {
        if (c == '#')
            skip_line(in);
        c = next_byte(in);
    }
    if (c == EOF)
        return n;
    n.line = in->line;
    if (c == '+')
        c = next_byte(in);
    if (!is_digit(c)) {
        n.kind = token::junk;
        n.after = c;
        return n;
    }
    int64_t v = 0;
    for (; is_digit(c); c = next_byte(in))
        if (v <= INT_MAX)
            v = v * 10 + (c - '0');
    n.kind = v > INT_MAX ? token::overflow : token::number;
    n.value = v > INT_MAX ? 0 : int(v);
    n.after = c;
    if (c == '#' && comment_after)
        skip_line(in);
    return n;
}

// Whether the byte after a width or height ends it as the format allows
// (whitespace, a comment, the end of the file).
bool ends_size(int c)
{
    return is_space(c) || c == '#' || c == EOF;
}

// Whether the byte after the maxval ends it as the format allows: one
// whitespace byte (or the end of the file, which leaves no raster).
bool ends_maxval(int c)
{
    return is_space(c) || c == EOF;
}

// Whether n is something other than a well-ended number on the magic line,
// which the magic line's reading ignores: then the rest of that line is
// skipped and the header starts again on the next.
bool restart_after_magic_line(ppminput *in, const number &n, bool (*ends)(int))
{
    if (n.line != 0 || n.kind == token::end || (n.kind == token::number && ends(n.after)))
        return false;
    if (n.after != '\n' && n.after != EOF)
        skip_line(in);
    return true;
}

// Reads the header up to the first byte of the raster; returns false when
// no valid width and height were found. in->maxval_ok tells whether a valid
// maxval followed.
bool read_header(ppminput *in)
{
    int m0 = next_byte(in), m1 = next_byte(in);
    if (m0 != 'P')
        return false;
    in->magic = m1;
    if (m1 != '6')
        return false;
    int c = next_byte(in);
    if (c == EOF)
        return false;
    if (!is_space(c))
        skip_line(in); // a comment, or junk the magic line's reading ignores
    for (;;) {
        number w = read_number(in, true);
        if (restart_after_magic_line(in, w, ends_size))
            continue;
        if (w.kind != token::number || !ends_size(w.after))
            return false;
        number h = read_number(in, true);
        if (restart_after_magic_line(in, h, ends_size))
            continue;
        if (h.kind != token::number)
            return false;
        if (!ends_size(h.after))
            skip_line(in); // junk right after the height: the rest of its line
        number m = read_number(in, false);
        if (restart_after_magic_line(in, m, ends_maxval))
            continue;
        in->width = w.value;
        in->height = in->damage.height = h.value;
        if (m.kind == token::junk && m.line == h.line) {
            // junk after the height on its line: the rest of that line
            if (m.after != '\n' && m.after != EOF)
                skip_line(in);
            m = read_number(in, false);
        }
        if (m.kind == token::number) {
            in->maxval = m.value;
            in->maxval_ok = m.value >= 1 && m.value <= 65535;
            // One whitespace byte ends the maxval and the raster follows;
            // anything else up to the end of its line is skipped.
            if (!ends_maxval(m.after))
                skip_line(in);
        }
        return true;
    }
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
    if (!read_header(in))
        return false;
    *width = in->width;
    *height = in->height;
    return *width >= 1 && *height >= 1;
}

int ppminput_get_magic(const ppminput *in)
{
    switch (in->magic) {
    case '1': case '2': case '3': case '4': case '5': case '7': case 'F': case 'f':
        return in->magic;
    default:
        return 0;
    }
}

bool ppminput_size_ok(int width, int height)
{
    const int max_side = 1 << 20;
    return width <= max_side && height <= max_side && int64_t(width) * height <= INT_MAX;
}

bool ppminput_read_maxval(ppminput *in, int *maxval)
{
    *maxval = in->maxval;
    return in->maxval_ok;
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
