// EXR reader over the library's C RGBA interface: one library call per row,
// decoded into a staging row of halves and widened to doubles.
#include "exrinput.h"

#include "heap.h"

#include <Imath/half.h>
#include <OpenEXR/ImfCRgbaFile.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// Rows are decoded a block at a time into half_row: the library's compressed
// chunks span up to 32 rows (PIZ), and one call per block instead of per row
// saves its per-call set-up. Very wide images stage fewer rows, so the
// staging buffer stays within block_bytes.
static const int max_block_rows = 32;
static const size_t block_bytes = size_t(8) << 20;

// Largest width or height accepted: beyond any photograph, and small enough
// that a hostile header cannot make the reader allocate gigabytes.
static const int max_side = 1 << 20;

struct exrinput_t {
    ImfInputFile *file;
    ImfRgba *half_row; // block_rows rows of halves
    int width;
    int height;
    rgba_t *row;
    int x_min, y_min;
    input_damage damage;
    int block_rows;  // rows half_row can hold
    int block_first; // first row held in half_row, or -1
    int block_count; // rows held
};

// Whether the data window (x_min, y_min)-(x_max, y_max) is one the reader
// accepts; prints the reason when it is not.
static bool acceptable_window(const char *path, int x_min, int y_min, int x_max, int y_max)
{
    int64_t width = int64_t(x_max) - x_min + 1;
    int64_t height = int64_t(y_max) - y_min + 1;
    if (width < 1 || height < 1) {
        fprintf(stderr, "exrinput: Invalid data window in %s.\n", path);
        return false;
    }
    // A hostile header can announce any size; refuse what no photograph
    // needs before allocating rows for it.
    if (width > max_side || height > max_side) {
        fprintf(stderr, "exrinput: Image size %lldx%lld in %s is beyond %d pixels a side.\n",
                (long long)width, (long long)height, path, max_side);
        return false;
    }
    return true;
}

static int32_t le32(const unsigned char *b)
{
    return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}

// Reads a NUL-terminated attribute name or type of at most 255 characters.
static bool read_name(FILE *f, char (&name)[256])
{
    for (size_t i = 0; i < sizeof name; i++) {
        int c = getc(f);
        if (c == EOF)
            return false;
        name[i] = char(c);
        if (c == 0)
            return true;
    }
    return false;
}

// Finds the data window in the file's first header without the library,
// which sizes its line buffers by it while opening, before the reader could
// refuse a hostile size. Returns false when the file does not start like an
// EXR image or its header cannot be walked; the library then judges it.
static bool peek_data_window(const char *path, int box[4])
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return false;
    unsigned char head[8];
    bool found = false;
    if (fread(head, 1, 8, f) == 8 && le32(head) == 20000630) {
        char name[256], type[256];
        unsigned char size[4];
        while (!found && read_name(f, name) && name[0] && read_name(f, type) &&
               fread(size, 1, 4, f) == 4 && le32(size) >= 0) {
            if (strcmp(name, "dataWindow") == 0 && strcmp(type, "box2i") == 0 && le32(size) == 16) {
                unsigned char v[16];
                if (fread(v, 1, 16, f) != 16)
                    break;
                for (int i = 0; i < 4; i++)
                    box[i] = le32(v + 4 * i);
                found = true;
            } else if (fseek(f, le32(size), SEEK_CUR) != 0) {
                break;
            }
        }
    }
    fclose(f);
    return found;
}

exrinput_t *exrinput_new(const char *path)
{
    heap_keep_freed();
    int box[4];
    if (peek_data_window(path, box) && !acceptable_window(path, box[0], box[1], box[2], box[3]))
        return nullptr;

    exrinput_t *in = new (std::nothrow) exrinput_t();
    if (!in) {
        fprintf(stderr, "exrinput: Cannot allocate memory.\n");
        return nullptr;
    }
    in->file = ImfOpenInputFile(path);
    if (!in->file) {
        fprintf(stderr, "exrinput: %s\n", ImfErrorMessage());
        delete in;
        return nullptr;
    }
    int x_min, y_min, x_max, y_max;
    ImfHeaderDataWindow(ImfInputHeader(in->file), &x_min, &y_min, &x_max, &y_max);
    if (!acceptable_window(path, x_min, y_min, x_max, y_max)) {
        exrinput_delete(in);
        return nullptr;
    }
    int64_t width = int64_t(x_max) - x_min + 1;
    int64_t height = int64_t(y_max) - y_min + 1;
    in->width = int(width);
    in->height = int(height);
    in->x_min = x_min;
    in->y_min = y_min;
    in->block_first = -1;
    in->damage.module = "exrinput";
    in->damage.path = path;
    in->damage.height = in->height;
    size_t row_bytes = size_t(width) * sizeof(ImfRgba);
    in->block_rows = block_bytes / row_bytes < max_block_rows ? int(block_bytes / row_bytes) : max_block_rows;
    if (in->block_rows < 1)
        in->block_rows = 1;
    in->half_row = static_cast<ImfRgba *>(malloc(row_bytes * in->block_rows));
    in->row = static_cast<rgba_t *>(malloc(size_t(width) * sizeof(rgba_t)));
    if (!in->half_row || !in->row) {
        fprintf(stderr, "exrinput: Cannot allocate memory.\n");
        exrinput_delete(in);
        return nullptr;
    }
    return in;
}

int exrinput_get_width(const exrinput_t *in)
{
    return in->width;
}

int exrinput_get_height(const exrinput_t *in)
{
    return in->height;
}

const input_damage *exrinput_get_damage(const exrinput_t *in)
{
    return &in->damage;
}

// Points the library at `dest` for rows starting at y (data-window relative)
// and decodes `count` rows. The base lies outside the buffer, so it is
// formed in integer arithmetic.
static bool read_rows(exrinput_t *in, ImfRgba *dest, int y, int count)
{
    int w = in->width;
    int64_t offset = int64_t(in->x_min) + (int64_t(in->y_min) + y) * w;
    uintptr_t base = uintptr_t(dest) - uintptr_t(offset) * sizeof(ImfRgba);
    ImfInputSetFrameBuffer(in->file, reinterpret_cast<ImfRgba *>(base), 1, w);
    return ImfInputReadPixels(in->file, in->y_min + y, in->y_min + y + count - 1) != 0;
}

// Decodes the block that holds row y. When the block cannot be decoded
// whole, its rows are decoded one by one so that only the damaged ones are
// counted, and delivered as zeros.
// After a failed read the library's stream stays failed, and every later
// read would fail too, sound rows included: the file is opened afresh.
static void reopen(exrinput_t *in)
{
    ImfCloseInputFile(in->file);
    in->file = ImfOpenInputFile(in->damage.path.c_str());
}

static void load_block(exrinput_t *in, int y)
{
    int first = y / in->block_rows * in->block_rows;
    int count = in->height - first < in->block_rows ? in->height - first : in->block_rows;
    in->block_first = first;
    in->block_count = count;
    if (in->file && read_rows(in, in->half_row, first, count))
        return;
    size_t w = size_t(in->width);
    bool failed = true; // the block's read failed
    for (int i = 0; i < count; i++) {
        ImfRgba *dest = in->half_row + w * i;
        if (failed && in->file)
            reopen(in);
        failed = !in->file || !read_rows(in, dest, first + i, 1);
        if (failed) {
            in->damage.add_row(first + i, in->file ? ImfErrorMessage() : "it cannot be opened again");
            memset(dest, 0, w * sizeof(ImfRgba));
        }
    }
    if (failed && in->file)
        reopen(in);
}

const rgba_t *exrinput_get_scanline(exrinput_t *in, int y)
{
    if (in->block_first < 0 || y < in->block_first || y >= in->block_first + in->block_count)
        load_block(in, y);
    int w = in->width;
    // Imath's inline conversion gives the same values as ImfHalfToFloat
    // without a library call per sample.
    const ImfRgba *h = in->half_row + size_t(w) * (y - in->block_first);
    rgba_t *row = in->row;
    for (int i = 0; i < w; i++) {
        row[i].r = imath_half_to_float(h[i].r);
        row[i].g = imath_half_to_float(h[i].g);
        row[i].b = imath_half_to_float(h[i].b);
        row[i].a = imath_half_to_float(h[i].a);
    }
    return row;
}

void exrinput_delete(exrinput_t *in)
{
    if (!in)
        return;
    if (in->file)
        ImfCloseInputFile(in->file);
    free(in->row);
    free(in->half_row);
    delete in;
}
