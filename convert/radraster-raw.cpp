// radraster-raw: converts a raw 768 x 512 grid of big-endian floats into a
// grey RGBA EXR; it speaks under the name of the PNG importer, radraster.
// Usage: radraster input.png output.exr
#include <cstdio>
#include <memory>
#include <new>

#include "prog.h"
#include "rawinput.h"
#include "heap.h"

static const char prog_name[] = "radraster";
static const char usage[] = "Usage: radraster input.png output.exr\n";

struct file_closer {
    void operator()(FILE *f) const { fclose(f); }
};

// A sample becomes a grey pixel unchanged, alpha 1.
static rgba_t raw_pixel(double v)
{
    return {v, v, v, 1.0};
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radraster-raw", usage, 2}, argc, argv, &first, &status))
        return status;
    std::unique_ptr<FILE, file_closer> file(fopen(argv[first], "r"));
    if (!file)
        return prog_cannot_open(prog_name, argv[first], PROG_NO_STOP);
    const int w = rawinput_width, h = rawinput_height;
    std::unique_ptr<float[]> grid(new (std::nothrow) float[size_t(w) * h]);
    if (!grid) {
        fprintf(stderr, "%s: Cannot allocate memory.\n", prog_name);
        return 1;
    }
    // Nothing in the file describes it: a shorter file is most likely not
    // such a grid at all, so it is refused rather than padded.
    size_t got = rawinput_read_grid(file.get(), grid.get());
    if (got < rawinput_bytes) {
        fprintf(stderr, "%s: %s holds %zu bytes, less than a %dx%d grid of floats (%zu).\n",
                prog_name, argv[first], got, w, h, rawinput_bytes);
        return 1;
    }
    prog_size_line(prog_name, argv[first], w, h);
    row_ptr row = prog_alloc_row(prog_name, w);
    if (!row)
        return 1;
    exroutput_ptr out = prog_create_output(prog_name, argv[first + 1], w, h, PROG_NO_STOP);
    if (!out)
        return 1;

    for (int y = 0; y < h; y++) {
        prog_progress(prog_name, "Writing scanline", y, 1);
        const float *src = &grid[size_t(y) * w];
        for (int x = 0; x < w; x++)
            row[x] = raw_pixel(src[x]);
        exroutput_write_scanline(out.get(), row.get());
    }

    return prog_finish(prog_name, out.get(), {});
}
