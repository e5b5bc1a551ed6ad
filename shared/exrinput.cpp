// EXR reader over the library's C RGBA interface: one library call per row,
// decoded into a staging row of halves and widened to doubles.
#include "exrinput.h"

#include <Imath/half.h>
#include <OpenEXR/ImfCRgbaFile.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

struct exrinput_t {
    ImfInputFile *file;
    ImfRgba *half_row;
    int width;
    int height;
    rgba_t *row;
    int x_min, y_min;
    int failures;
};

exrinput_t *exrinput_new(const char *path)
{
    exrinput_t *in = static_cast<exrinput_t *>(calloc(1, sizeof *in));
    if (!in) {
        fprintf(stderr, "exrinput: Cannot allocate memory.\n");
        return nullptr;
    }
    in->file = ImfOpenInputFile(path);
    if (!in->file) {
        fprintf(stderr, "exrinput: %s\n", ImfErrorMessage());
        free(in);
        return nullptr;
    }
    int x_min, y_min, x_max, y_max;
    ImfHeaderDataWindow(ImfInputHeader(in->file), &x_min, &y_min, &x_max, &y_max);
    int64_t width = int64_t(x_max) - x_min + 1;
    int64_t height = int64_t(y_max) - y_min + 1;
    if (width < 1 || height < 1 || width > INT_MAX || height > INT_MAX) {
        fprintf(stderr, "exrinput: Invalid data window in %s.\n", path);
        exrinput_delete(in);
        return nullptr;
    }
    in->width = int(width);
    in->height = int(height);
    in->x_min = x_min;
    in->y_min = y_min;
    in->half_row = static_cast<ImfRgba *>(malloc(size_t(width) * sizeof(ImfRgba)));
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

int exrinput_get_failures(const exrinput_t *in)
{
    return in->failures;
}

const rgba_t *exrinput_get_scanline(exrinput_t *in, int y)
{
    int w = in->width;
    // The library addresses pixel (x, v) of the data window at
    // base + x + v * width; place row y_min + y at half_row. The base lies
    // outside the row, so it is formed in integer arithmetic.
    int64_t offset = int64_t(in->x_min) + (int64_t(in->y_min) + y) * w;
    uintptr_t base = uintptr_t(in->half_row) - uintptr_t(offset) * sizeof(ImfRgba);
    ImfInputSetFrameBuffer(in->file, reinterpret_cast<ImfRgba *>(base), 1, w);
    if (!ImfInputReadPixels(in->file, in->y_min + y, in->y_min + y)) {
        fprintf(stderr, "exrinput: Cannot read scanline %d: %s\n", y, ImfErrorMessage());
        memset(in->half_row, 0, size_t(w) * sizeof(ImfRgba));
        in->failures++;
    }
    // Imath's inline conversion gives the same values as ImfHalfToFloat
    // without a library call per sample.
    const ImfRgba *h = in->half_row;
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
    free(in);
}
