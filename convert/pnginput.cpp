// PNG reader: the first bytes are read ahead to check the header's size
// before libpng starts, then served to libpng with the rest of the stream
// through its read callback, so that a pipe reads like a file. libpng
// decodes the whole file at opening with its row pointers kept in the info
// structure; grey rows are widened to R, G, B on demand into one reused
// buffer.
#include "pnginput.h"


#include <png.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

struct pnginput_t {
    FILE *file;
    png_structp png;
    png_infop info;
    int has_alpha;
    int channels;
    int bit_depth;
    unsigned char *grey_row;
    unsigned char head[33]; // the signature and the IHDR chunk, read ahead
    size_t head_size;       // bytes of head that the stream held
    size_t head_used;       // bytes of head already handed to libpng
};

namespace {

// The best ratio deflate can reach: a 258-byte match coded in two bits.
const uint64_t max_inflate_ratio = 1032;

// What libpng may allocate for one ancillary chunk, and how many it may
// keep: its own usual limits, set here whatever the build of libpng says.
// The reader ignores every ancillary chunk but tRNS in any case.
const png_alloc_size_t max_chunk_bytes = 8000000;
const png_uint_32 max_chunks = 1000;

// Serves the bytes read ahead first, then the rest of the stream. A stream
// that ends early is libpng's own "Read Error".
void read_data(png_structp png, png_bytep data, png_size_t length)
{
    pnginput_t *in = static_cast<pnginput_t *>(png_get_io_ptr(png));
    size_t from_head = in->head_size - in->head_used;
    if (from_head > length)
        from_head = length;
    memcpy(data, in->head + in->head_used, from_head);
    in->head_used += from_head;
    if (from_head < length && fread(data + from_head, 1, length - from_head, in->file) !=
                                  length - from_head)
        png_error(png, "Read Error");
}

// Bytes a decoded pixel can take once palettes and low-bit grey are
// expanded to 8 bits and a tRNS chunk to an alpha channel.
uint64_t expanded_pixel_bytes(int colour_type, int depth)
{
    uint64_t sample = depth == 16 ? 2 : 1;
    switch (colour_type) {
    case PNG_COLOR_TYPE_GRAY: return 2 * sample;
    case PNG_COLOR_TYPE_RGB: return 4 * sample;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2 * sample;
    default: return 4 * sample; // palette, RGBA
    }
}

// Looks at the IHDR chunk read ahead, before libpng allocates the image,
// and refuses a header announcing more pixels than an int can count, or
// more row data than the file's compressed stream could inflate to (a
// damaged or hostile header would otherwise make libpng allocate gigabytes
// of rows). A stream whose size is not known (a pipe) is held to
// pnginput_max_stream_bytes of decoded rows instead. Anything that is not a
// well-formed start of a PNG is left for libpng to report.
bool plausible_size(pnginput_t *in, const char *path)
{
    const unsigned char *head = in->head;
    if (in->head_size < 26 || png_sig_cmp(head, 0, 8) != 0 || memcmp(head + 12, "IHDR", 4) != 0)
        return true;
    uint32_t w = png_get_uint_32(head + 16), h = png_get_uint_32(head + 20);
    uint64_t depth = head[24], channels = 1;
    switch (head[25]) {
    case PNG_COLOR_TYPE_RGB: channels = 3; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: channels = 2; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: channels = 4; break;
    default: break;
    }
    if (uint64_t(w) * h > uint64_t(INT_MAX)) {
        fprintf(stderr, "pnginput: %s: %ux%u image is too large.\n", path, unsigned(w), unsigned(h));
        return false;
    }
    // At most 2^31 pixels of at most 64 bits: no overflow below.
    uint64_t raw = uint64_t(h) * ((uint64_t(w) * channels * depth + 7) / 8 + 1);
    struct stat st;
    if (fstat(fileno(in->file), &st) == 0 && S_ISREG(st.st_mode)) {
        if (raw / max_inflate_ratio > uint64_t(st.st_size)) {
            fprintf(stderr, "pnginput: %s: %ux%u image is larger than its file can hold.\n", path,
                    unsigned(w), unsigned(h));
            return false;
        }
    } else if (uint64_t(w) * h * expanded_pixel_bytes(head[25], int(depth)) >
               pnginput_max_stream_bytes) {
        fprintf(stderr, "pnginput: %s: %ux%u image is too large to read from a stream (more than "
                        "%llu MiB).\n",
                path, unsigned(w), unsigned(h),
                static_cast<unsigned long long>(pnginput_max_stream_bytes >> 20));
        return false;
    }
    return true;
}

// Decodes the whole image. Plain C style: libpng's default error handler
// prints its text and longjmps back to the setjmp here, so nothing in this
// frame may need a destructor. Returns false after such an error.
bool read_image(pnginput_t *in)
{
    if (setjmp(png_jmpbuf(in->png)))
        return false;
    png_set_read_fn(in->png, in, read_data);
    // Colour metadata, text and the rest play no part in the pixels: only
    // the chunks that do (IHDR, PLTE, tRNS, IDAT, IEND) are decoded, the
    // others are skipped unread, so that none can make libpng reserve
    // memory for it.
    png_set_keep_unknown_chunks(in->png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_chunk_malloc_max(in->png, max_chunk_bytes);
    png_set_chunk_cache_max(in->png, max_chunks);
    png_set_expand(in->png);
    png_read_png(in->png, in->info, PNG_TRANSFORM_IDENTITY, nullptr);
    return true;
}

} // namespace

pnginput_t *pnginput_new(const char *path)
{
    pnginput_t *in = static_cast<pnginput_t *>(calloc(1, sizeof(pnginput_t)));
    if (!in)
        return nullptr;
    in->file = fopen(path, "rb");
    if (!in->file) {
        fprintf(stderr, "pnginput: Cannot open %s: %s\n", path, strerror(errno));
        pnginput_delete(in);
        return nullptr;
    }
    in->head_size = fread(in->head, 1, sizeof in->head, in->file);
    if (!plausible_size(in, path)) {
        pnginput_delete(in);
        return nullptr;
    }
    in->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!in->png) {
        fprintf(stderr, "pnginput: Cannot open PNG read struct.\n");
        pnginput_delete(in);
        return nullptr;
    }
    in->info = png_create_info_struct(in->png);
    if (!in->info) {
        png_destroy_read_struct(&in->png, nullptr, nullptr);
        in->png = nullptr;
        fprintf(stderr, "pnginput: Cannot open PNG info struct.\n");
        pnginput_delete(in);
        return nullptr;
    }
    if (!read_image(in)) {
        pnginput_delete(in);
        return nullptr;
    }

    png_uint_32 w = png_get_image_width(in->png, in->info);
    int colour = png_get_color_type(in->png, in->info);
    in->channels = png_get_channels(in->png, in->info);
    in->bit_depth = png_get_bit_depth(in->png, in->info);
    in->has_alpha = colour == PNG_COLOR_TYPE_GRAY_ALPHA || colour == PNG_COLOR_TYPE_RGB_ALPHA;
    if (in->channels <= 2) {
        size_t bytes = size_t(w) * (in->channels == 1 ? 3 : 4) * size_t(in->bit_depth / 8);
        in->grey_row = static_cast<unsigned char *>(malloc(bytes));
        if (!in->grey_row) {
            pnginput_delete(in);
            return nullptr;
        }
    }
    return in;
}
int pnginput_get_width(const pnginput_t *in)
{
    return int(png_get_image_width(in->png, in->info));
}

int pnginput_get_height(const pnginput_t *in)
{
    return int(png_get_image_height(in->png, in->info));
}

int pnginput_has_alpha(const pnginput_t *in)
{
    return in->has_alpha;
}

int pnginput_get_bit_depth(const pnginput_t *in)
{
    return in->bit_depth;
}

const unsigned char *pnginput_get_scanline(pnginput_t *in, int y)
{
    const unsigned char *src = png_get_rows(in->png, in->info)[y];
    if (in->channels >= 3)
        return src;
    size_t w = png_get_image_width(in->png, in->info), bytes = size_t(in->bit_depth / 8);
    unsigned char *dst = in->grey_row;
    for (size_t x = 0; x < w; x++) {
        const unsigned char *grey = src + x * in->channels * bytes;
        for (int c = 0; c < 3; c++, dst += bytes)
            memcpy(dst, grey, bytes);
        if (in->channels == 2) {
            memcpy(dst, grey + bytes, bytes);
            dst += bytes;
        }
    }
    return in->grey_row;
}

void pnginput_delete(pnginput_t *in)
{
    if (!in)
        return;
    if (in->png)
        png_destroy_read_struct(&in->png, in->info ? &in->info : nullptr, nullptr);
    if (in->file)
        fclose(in->file);
    free(in->grey_row);
    free(in);
}
