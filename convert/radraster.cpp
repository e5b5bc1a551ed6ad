// radraster: converts a PNG image (sRGB-encoded samples) into a linear RGBA EXR.
// Usage: radraster input.png output.exr
#include <cmath>
#include <cstdio>

#include "colour.h"
#include "pnginput.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radraster";
static const char usage[] = "Usage: radraster input.png output.exr\n";

// One pixel from samples scaled to [0, 1]: colour through the sRGB curve,
// alpha linear.
static rgba_t raster_pixel(double r, double g, double b, double a)
{
    return {srgb_to_linear(r), srgb_to_linear(g), srgb_to_linear(b), a};
}

// Sample i of a row of 8-bit or big-endian 16-bit samples, scaled to [0, 1].
static double sample(const unsigned char *row, size_t i, int depth)
{
    if (depth == 16)
        return (row[2 * i] << 8 | row[2 * i + 1]) / 65535.0;
    return row[i] / 255.0;
}

// An 8-bit sample has 256 values: their linear values are computed once,
// with the same formula, instead of a pow per sample.
struct srgb_table {
    double linear[256];
    srgb_table()
    {
        for (int i = 0; i < 256; i++)
            linear[i] = srgb_to_linear(i / 255.0);
    }
};

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radraster", usage, 2}, argc, argv, &first, &status))
        return status;
    pnginput_ptr in(pnginput_new(argv[first]));
    if (!in)
        return prog_cannot_open(prog_name, argv[first], PROG_NO_STOP);
    int w = pnginput_get_width(in.get()), h = pnginput_get_height(in.get());
    prog_size_line(prog_name, argv[first], w, h);
    row_ptr row = prog_alloc_row(prog_name, w);
    if (!row)
        return 1;
    exroutput_ptr out = prog_create_output(prog_name, argv[first + 1], w, h, PROG_NO_STOP);
    if (!out)
        return 1;

    bool alpha = pnginput_has_alpha(in.get());
    int depth = pnginput_get_bit_depth(in.get());
    size_t n = alpha ? 4 : 3;
    static const srgb_table table;
    for (int y = 0; y < h; y++) {
        const unsigned char *src = pnginput_get_scanline(in.get(), y);
        prog_progress(prog_name, "Writing scanline", y, 1);
        if (depth == 16) {
            for (size_t x = 0; x < size_t(w); x++)
                row[x] = raster_pixel(sample(src, n * x, depth), sample(src, n * x + 1, depth),
                                      sample(src, n * x + 2, depth),
                                      alpha ? sample(src, n * x + 3, depth) : 1.0);
        } else {
            for (size_t x = 0; x < size_t(w); x++)
                row[x] = {table.linear[src[n * x]], table.linear[src[n * x + 1]],
                          table.linear[src[n * x + 2]], alpha ? sample(src, n * x + 3, depth) : 1.0};
        }
        exroutput_write_scanline(out.get(), row.get());
    }

    return prog_finish(prog_name, out.get(), {});
}
