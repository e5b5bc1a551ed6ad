// radmean: replaces an image by a uniform one of its mean colour, alpha 1.
// Usage: radmean input.exr output.exr
#include <cstdio>

#include "prog.h"

static const char prog_name[] = "radmean";

int main(int argc, char **argv)
{
    if (argc < 3) {
        fputs("Usage: radmean input.exr output.exr\n", stderr);
        return 1;
    }
    exrinput_ptr in = prog_open_input(prog_name, argv[1]);
    if (!in)
        return 1;
    int w = exrinput_get_width(in.get()), h = exrinput_get_height(in.get());
    row_ptr row = prog_alloc_row(prog_name, w);
    if (!row)
        return 1;
    exroutput_ptr out = prog_create_output(prog_name, argv[2], in.get());
    if (!out)
        return 1;

    double sr = 0, sg = 0, sb = 0;
    prog_scan(prog_name, in.get(), "Scanning", 10, [&](const rgba_t *src, int) {
        for (int x = 0; x < w; x++) {
            sr += src[x].r;
            sg += src[x].g;
            sb += src[x].b;
        }
    });
    double n = double(w) * h;
    const rgba_t mean = {sr / n, sg / n, sb / n, 1.0};

    // Every row is the same: the input is not read again.
    for (int x = 0; x < w; x++)
        row[x] = mean;
    for (int y = 0; y < h; y++) {
        prog_progress(prog_name, "Writing", y, 10);
        exroutput_write_scanline(out.get(), row.get());
    }

    prog_done(prog_name);
    return prog_close(std::move(out), std::move(in));
}
