// PNG writer: libpng writes through our own callback into the stdio stream
// of the suite's write policy (outfile); libpng errors come back through
// longjmp to the function that called into it, and mark the output as
// failed.
#include "pngoutput.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "outfile.h"

struct pngoutput_t {
    outfile *target;
    FILE *file; // the target's stream
    png_structp png;
    png_infop info;
    int width;
    int height;
    int line;   // rows written so far
    int failed; // libpng or the system refused a write
    char *path; // the user's path, for messages
};

namespace {

// Opens the target for writing. Returns false with the reason in *why.
bool open_target(pngoutput_t *out, std::string *why)
{
    out->target = outfile_new(out->path, OUTFILE_SEQUENTIAL, why);
    out->file = out->target ? outfile_stream(out->target) : nullptr;
    if (out->target && !out->file)
        *why = strerror(errno);
    return out->file != nullptr;
}

// libpng's fatal errors: report once with the user's path, then return to
// the setjmp of the call in progress.
void on_error(png_structp png, png_const_charp message)
{
    pngoutput_t *out = static_cast<pngoutput_t *>(png_get_error_ptr(png));
    if (!out->failed)
        fprintf(stderr, "pngoutput: Cannot write %s: %s\n", out->path, message);
    out->failed = 1;
    png_longjmp(png, 1);
}

// Writes through stdio so that a short write is reported with the system's
// reason (a full disk, a file size limit).
void write_data(png_structp png, png_bytep data, png_size_t length)
{
    pngoutput_t *out = static_cast<pngoutput_t *>(png_get_io_ptr(png));
    if (fwrite(data, 1, length, out->file) != length)
        png_error(png, strerror(errno));
}

void flush_data(png_structp png)
{
    pngoutput_t *out = static_cast<pngoutput_t *>(png_get_io_ptr(png));
    fflush(out->file);
}

// Releases everything; an output not committed is discarded.
void discard(pngoutput_t *out)
{
    if (out->png)
        png_destroy_write_struct(&out->png, out->info ? &out->info : nullptr);
    outfile_delete(out->target);
    free(out->path);
    free(out);
}

// Plain C style from here on: libpng's errors longjmp into these frames.

bool write_header(pngoutput_t *out, int alpha, int compress)
{
    if (setjmp(png_jmpbuf(out->png)))
        return false;
    png_set_write_fn(out->png, out, write_data, flush_data);
    png_set_filter(out->png, 0, compress ? PNG_FILTER_PAETH : PNG_FILTER_NONE);
    png_set_compression_level(out->png, compress ? 9 : 0);
    png_set_sRGB_gAMA_and_cHRM(out->png, out->info, PNG_sRGB_INTENT_RELATIVE);
    png_set_IHDR(out->png, out->info, png_uint_32(out->width), png_uint_32(out->height), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(out->png, out->info);
    return true;
}

bool write_end(pngoutput_t *out)
{
    if (setjmp(png_jmpbuf(out->png)))
        return false;
    png_write_end(out->png, out->info);
    return true;
}

} // namespace

pngoutput_t *pngoutput_new(const char *path, int width, int height, int alpha, int compress)
{
    pngoutput_t *out = static_cast<pngoutput_t *>(calloc(1, sizeof(pngoutput_t)));
    if (!out)
        return nullptr;
    out->width = width;
    out->height = height;
    out->path = strdup(path);
    if (!out->path) {
        discard(out);
        return nullptr;
    }
    std::string why;
    if (!open_target(out, &why)) {
        fprintf(stderr, "pngoutput: Cannot open %s: %s\n", path, why.c_str());
        discard(out);
        return nullptr;
    }
    out->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, out, on_error, nullptr);
    if (!out->png) {
        fprintf(stderr, "pngoutput: Cannot open PNG write struct.\n");
        discard(out);
        return nullptr;
    }
    out->info = png_create_info_struct(out->png);
    if (!out->info) {
        fprintf(stderr, "pngoutput: Cannot open PNG info struct.\n");
        discard(out);
        return nullptr;
    }
    if (!write_header(out, alpha, compress)) {
        discard(out);
        return nullptr;
    }
    return out;
}

void pngoutput_write_scanline(pngoutput_t *out, const unsigned char *row)
{
    if (out->failed)
        return;
    if (setjmp(png_jmpbuf(out->png)))
        return;
    png_write_row(out->png, row);
    out->line++;
}

int pngoutput_commit(pngoutput_t *out)
{
    if (out->failed || out->line < out->height || !write_end(out))
        return 1;
    if (outfile_commit(out->target) != 0) {
        fprintf(stderr, "pngoutput: Cannot write %s: %s\n", out->path, strerror(errno));
        return 1;
    }
    return 0;
}

const char *pngoutput_get_path(const pngoutput_t *out)
{
    return out->path;
}

void pngoutput_delete(pngoutput_t *out)
{
    if (out)
        discard(out);
}
