// exrshrink: a smaller copy of an EXR image, each output pixel the mean of a
// factor x factor block of input pixels (the gallery's previews).
// Usage: exrshrink input.exr output.exr factor
#include <cstdio>
#include <cstdlib>
#include <new>

#include "prog.h"
#include "heap.h"

static const char prog_name[] = "exrshrink";

// Adds the input row to the running sums of the output row it falls in:
// input pixel x goes to output pixel x / factor.
static void shrink_accumulate(rgba_t *sum, const rgba_t *row, int w, int factor)
{
    for (int x = 0; x < w; x++) {
        rgba_t &s = sum[x / factor];
        s.r += row[x].r;
        s.g += row[x].g;
        s.b += row[x].b;
        s.a += row[x].a;
    }
}

// Divides the sums of one output row by the number of input pixels in each
// block: blocks at the right and bottom edges may be narrower than factor.
static void shrink_average(rgba_t *row, int out_w, int w, int factor, int rows)
{
    for (int x = 0; x < out_w; x++) {
        int cols = (x + 1) * factor <= w ? factor : w - x * factor;
        double n = double(cols) * rows;
        row[x] = {row[x].r / n, row[x].g / n, row[x].b / n, row[x].a / n};
    }
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    if (argc < 4) {
        fprintf(stderr, "Usage: exrshrink input.exr output.exr factor\n");
        return 1;
    }
    int factor = atoi(argv[3]);
    if (factor < 1) {
        fprintf(stderr, "%s: The factor must be a whole number of at least 1.\n", prog_name);
        return 1;
    }
    exrinput_ptr in = prog_open_input(prog_name, argv[1]);
    if (!in)
        return 1;
    int w = exrinput_get_width(in.get()), h = exrinput_get_height(in.get());
    // Partial blocks at the edges still make a pixel, so nothing is cut off.
    int out_w = (w - 1) / factor + 1, out_h = (h - 1) / factor + 1;
    row_ptr row = prog_alloc_row(prog_name, out_w);
    if (!row)
        return 1;
    exroutput_ptr out(exroutput_new(argv[2], out_w, out_h));
    if (!out) {
        fprintf(stderr, "%s: Cannot open %s.\n", prog_name, argv[2]);
        return 1;
    }

    for (int oy = 0; oy < out_h; oy++) {
        for (int x = 0; x < out_w; x++)
            row[x] = {0, 0, 0, 0};
        int rows = 0;
        for (int y = oy * factor; y < h && y < (oy + 1) * factor; y++, rows++)
            shrink_accumulate(row.get(), exrinput_get_scanline(in.get(), y), w, factor);
        shrink_average(row.get(), out_w, w, factor, rows);
        exroutput_write_scanline(out.get(), row.get());
    }
    return prog_finish(prog_name, out.get(), {exrinput_get_damage(in.get())}, [] {});
}
