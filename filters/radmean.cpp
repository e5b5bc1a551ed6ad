// radmean: replaces an image by a uniform one of its mean colour, alpha 1.
// Usage: radmean input.exr output.exr
#include <cstdio>

#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radmean";

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radmean", "Usage: radmean input.exr output.exr\n", 2}, argc, argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], nullptr, argv[first + 1], &files))
        return 1;
    int w = exrinput_get_width(files.in.get()), h = exrinput_get_height(files.in.get());

    // The mean of the pixels whose colour is finite.
    double sr = 0, sg = 0, sb = 0, n = 0;
    prog_scan(prog_name, files.in.get(), "Scanning", 10, [&](const rgba_t *src, int) {
        for (int x = 0; x < w; x++) {
            if (!rgba_finite(src[x]))
                continue;
            n++;
            sr += src[x].r;
            sg += src[x].g;
            sb += src[x].b;
        }
    });
    const rgba_t mean = {sr / n, sg / n, sb / n, 1.0};

    // Every row is the same: the input is not read again.
    for (int x = 0; x < w; x++)
        files.row[x] = mean;
    for (int y = 0; y < h; y++) {
        prog_progress(prog_name, "Writing", y, 10);
        exroutput_write_scanline(files.out.get(), files.row.get());
    }

    return prog_finish(prog_name, files);
}
