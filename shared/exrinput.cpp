// EXR reader over the library's RGBA interface: the header walk (exrwalk)
// first, then one library call per block of rows, decoded into a staging
// buffer of halves and widened to doubles.
#include "exrinput.h"

#include "exrwalk.h"
#include "printable.h"

#include <Imath/half.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfInputPart.h>
#include <OpenEXR/ImfMultiPartInputFile.h>
#include <OpenEXR/ImfRgbaFile.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

// Rows are decoded a block at a time into half_row: the library's compressed
// chunks span up to 32 rows (PIZ), and one call per block instead of per row
// saves its per-call set-up. Very wide images stage fewer rows, so the
// staging buffer stays within block_bytes.
static const int max_block_rows = 32;
static const size_t block_bytes = size_t(8) << 20;

// Largest width or height accepted: beyond any photograph, and small enough
// that a hostile header cannot make the reader allocate gigabytes.
static const int max_side = 1 << 20;

// The library's view of the colour the walk located: the RGBA interface on
// the first part (its top level or a layer, luminance-chroma converted by
// the library), or the general interface on another part, with the layer's
// R, G, B and A channels as half slices (missing ones filled as the RGBA
// interface fills them: colour 0, alpha 1).
struct exr_source {
    std::unique_ptr<Imf::RgbaInputFile> rgba;
    std::unique_ptr<Imf::MultiPartInputFile> multi;
    std::unique_ptr<Imf::InputPart> part;
};

struct exrinput_t {
    exr_source file;
    bool open = false;
    std::string path;
    int part = 0;
    std::string layer;
    std::string error; // the library's text for the last failure, printable
    Imf::Rgba *half_row = nullptr; // block_rows rows of halves
    int width = 0;
    int height = 0;
    rgba_t *row = nullptr;
    int x_min = 0, y_min = 0;
    input_damage damage;
    int block_rows = 0;  // rows half_row can hold
    int block_first = -1; // first row held in half_row, or -1
    int block_count = 0; // rows held
};

// The library's text for a failure, which can quote names and types from
// the file: made printable, the path kept as the user gave it.
static std::string library_text(const exrinput_t *in, const std::exception &e)
{
    return printable_except(e.what(), in->path);
}

// Opens the located colour with the library; false with in->error set.
static bool open_source(exrinput_t *in)
{
    in->file = exr_source();
    in->open = false;
    try {
        if (in->part == 0) {
            in->file.rgba.reset(new Imf::RgbaInputFile(in->path.c_str(), in->layer));
        } else {
            in->file.multi.reset(new Imf::MultiPartInputFile(in->path.c_str()));
            in->file.part.reset(new Imf::InputPart(*in->file.multi, in->part));
        }
        in->open = true;
    } catch (const std::exception &e) {
        in->error = library_text(in, e);
        in->file = exr_source();
    }
    return in->open;
}

// The data window of the opened colour.
static Imath::Box2i data_window(const exrinput_t *in)
{
    return in->file.rgba ? in->file.rgba->dataWindow() : in->file.part->header().dataWindow();
}

exrinput_t *exrinput_new(const char *path)
{
    exrwalk_file walk;
    exrwalk_result walked = exrwalk(path, max_side, &walk);
    if (walked == EXRWALK_REFUSED)
        return nullptr;
    exrinput_t *in = new (std::nothrow) exrinput_t();
    if (!in) {
        fprintf(stderr, "exrinput: Cannot allocate memory.\n");
        return nullptr;
    }
    in->path = path;
    in->part = walk.part;
    in->layer = walk.layer;
    if (!open_source(in)) {
        fprintf(stderr, "exrinput: %s\n", in->error.c_str());
        delete in;
        return nullptr;
    }
    Imath::Box2i dw = data_window(in);
    int64_t width = int64_t(dw.max.x) - dw.min.x + 1;
    int64_t height = int64_t(dw.max.y) - dw.min.y + 1;
    // The walk has checked the window when it could read the header; the
    // library's own reading is checked the same way.
    if (width < 1 || height < 1 || width > max_side || height > max_side) {
        if (width < 1 || height < 1)
            fprintf(stderr, "exrinput: Invalid data window in %s.\n", path);
        else
            fprintf(stderr, "exrinput: Image size %lldx%lld in %s is beyond %d pixels a side.\n",
                    (long long)width, (long long)height, path, max_side);
        exrinput_delete(in);
        return nullptr;
    }
    in->width = int(width);
    in->height = int(height);
    in->x_min = dw.min.x;
    in->y_min = dw.min.y;
    in->damage.module = "exrinput";
    in->damage.path = path;
    in->damage.height = in->height;
    // Chunks the walk found impossible count as damage from the start.
    for (const exrwalk_bad_chunk &bad : walk.bad_chunks)
        for (int y = bad.first_row; y < bad.first_row + bad.rows; y++)
            in->damage.add_row(y, bad.reason);
    size_t row_bytes = size_t(width) * sizeof(Imf::Rgba);
    in->block_rows = block_bytes / row_bytes < max_block_rows ? int(block_bytes / row_bytes) : max_block_rows;
    if (in->block_rows < 1)
        in->block_rows = 1;
    in->half_row = static_cast<Imf::Rgba *>(malloc(row_bytes * in->block_rows));
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
static bool read_rows(exrinput_t *in, Imf::Rgba *dest, int y, int count)
{
    int w = in->width;
    int64_t offset = int64_t(in->x_min) + (int64_t(in->y_min) + y) * w;
    uintptr_t base = uintptr_t(dest) - uintptr_t(offset) * sizeof(Imf::Rgba);
    int y1 = in->y_min + y, y2 = in->y_min + y + count - 1;
    try {
        if (in->file.rgba) {
            in->file.rgba->setFrameBuffer(reinterpret_cast<Imf::Rgba *>(base), 1, size_t(w));
            in->file.rgba->readPixels(y1, y2);
        } else {
            const std::string prefix = in->layer.empty() ? "" : in->layer + ".";
            const size_t xs = sizeof(Imf::Rgba), ys = xs * size_t(w);
            Imf::Rgba *b = reinterpret_cast<Imf::Rgba *>(base);
            Imf::FrameBuffer fb;
            fb.insert(prefix + "R", Imf::Slice(Imf::HALF, reinterpret_cast<char *>(&b->r), xs, ys, 1, 1, 0.0));
            fb.insert(prefix + "G", Imf::Slice(Imf::HALF, reinterpret_cast<char *>(&b->g), xs, ys, 1, 1, 0.0));
            fb.insert(prefix + "B", Imf::Slice(Imf::HALF, reinterpret_cast<char *>(&b->b), xs, ys, 1, 1, 0.0));
            fb.insert(prefix + "A", Imf::Slice(Imf::HALF, reinterpret_cast<char *>(&b->a), xs, ys, 1, 1, 1.0));
            in->file.part->setFrameBuffer(fb);
            in->file.part->readPixels(y1, y2);
        }
    } catch (const std::exception &e) {
        in->error = library_text(in, e);
        return false;
    }
    return true;
}

// Decodes the block that holds row y. When the block cannot be decoded
// whole, its rows are decoded one by one so that only the damaged ones are
// counted, and delivered as zeros. After a failed read the library's stream
// stays failed, and every later read would fail too, sound rows included:
// the file is opened afresh.
static void load_block(exrinput_t *in, int y)
{
    int first = y / in->block_rows * in->block_rows;
    int count = in->height - first < in->block_rows ? in->height - first : in->block_rows;
    in->block_first = first;
    in->block_count = count;
    if (in->open && read_rows(in, in->half_row, first, count))
        return;
    size_t w = size_t(in->width);
    bool failed = true; // the block's read failed
    for (int i = 0; i < count; i++) {
        Imf::Rgba *dest = in->half_row + w * i;
        if (failed && in->open)
            open_source(in);
        failed = !in->open || !read_rows(in, dest, first + i, 1);
        if (failed) {
            in->damage.add_row(first + i, in->open ? in->error : "it cannot be opened again");
            memset(static_cast<void *>(dest), 0, w * sizeof(Imf::Rgba));
        }
    }
    if (failed && in->open)
        open_source(in);
}

const rgba_t *exrinput_get_scanline(exrinput_t *in, int y)
{
    if (in->block_first < 0 || y < in->block_first || y >= in->block_first + in->block_count)
        load_block(in, y);
    int w = in->width;
    // Imath's inline conversion gives the same values as the library's
    // half-to-float conversion without a call per sample.
    const Imf::Rgba *h = in->half_row + size_t(w) * (y - in->block_first);
    rgba_t *row = in->row;
    for (int i = 0; i < w; i++) {
        row[i].r = imath_half_to_float(h[i].r.bits());
        row[i].g = imath_half_to_float(h[i].g.bits());
        row[i].b = imath_half_to_float(h[i].b.bits());
        row[i].a = imath_half_to_float(h[i].a.bits());
    }
    return row;
}

void exrinput_delete(exrinput_t *in)
{
    if (!in)
        return;
    free(in->row);
    free(in->half_row);
    delete in;
}
