// exrcopy: the floor the suite's programs are measured against. Reads an EXR
// image through the suite's own reader `passes` times (the last pass also
// writes it through the suite's writer, unless -n is given).
//
// Two options make the floor do exactly the input and output work of a given
// program, so that what a program spends above it is its own arithmetic:
//   -c companion.exr  opens a second image of the same size, as the programs
//                     with a blurred companion do, and reads its rows in step
//                     with the last pass;
//   -w written.exr    writes that image's pixels (a program's own output)
//                     instead of the input's, since PIZ's cost depends on what
//                     it codes. They are loaded whole before the passes and
//                     released after them; the seconds both take are printed
//                     as "exrcopy: untimed S" on stdout, for the runner to
//                     subtract.
// Usage: exrcopy [-p passes] [-n] [-c companion.exr] [-w written.exr]
//                input.exr [output.exr]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

#include "prog.h"
#include "heap.h"

static const char prog_name[] = "exrcopy";
static const char usage[] =
    "Usage: exrcopy [-p passes] [-n] [-c companion.exr] [-w written.exr] input.exr [output.exr]\n";

using seconds = std::chrono::duration<double>;

// A half infinity in a program's output comes from a finite value too large
// for a half; the writer stores infinities as 0, so it gets one of those.
static double as_written(double v)
{
    return std::isinf(v) && v > 0 ? 65536.0 : v;
}

// Loads every pixel of path, top row first, such that writing them gives
// the file's own values; empty on failure.
static std::vector<rgba_t> load_pixels(const char *path, const exrinput_t *in)
{
    exrinput_ptr src = prog_open_companion(prog_name, path, in);
    std::vector<rgba_t> pixels;
    if (!src)
        return pixels;
    size_t w = exrinput_get_width(src.get()), h = exrinput_get_height(src.get());
    pixels.resize(w * h);
    for (size_t y = 0; y < h; y++) {
        const rgba_t *row = exrinput_get_scanline(src.get(), int(y));
        for (size_t x = 0; x < w; x++)
            pixels[y * w + x] = {as_written(row[x].r), as_written(row[x].g), as_written(row[x].b),
                                 as_written(row[x].a)};
    }
    return pixels;
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int passes = 1;
    bool write = true;
    const char *companion_path = nullptr, *written_path = nullptr;
    int opt;
    while ((opt = getopt(argc, argv, "p:nc:w:")) != -1) {
        if (opt == 'p')
            passes = atoi(optarg);
        else if (opt == 'n')
            write = false;
        else if (opt == 'c')
            companion_path = optarg;
        else if (opt == 'w')
            written_path = optarg;
        else {
            fputs(usage, stderr);
            return 1;
        }
    }
    if (argc - optind < (write ? 2 : 1) || passes < 1 || (written_path && !write)) {
        fputs(usage, stderr);
        return 1;
    }
    exrinput_ptr in = prog_open_input(prog_name, argv[optind]);
    if (!in)
        return 1;
    auto start = std::chrono::steady_clock::now();
    std::vector<rgba_t> written;
    if (written_path && (written = load_pixels(written_path, in.get())).empty())
        return 1;
    seconds untimed = std::chrono::steady_clock::now() - start;

    row_ptr row = prog_alloc_row(prog_name, exrinput_get_width(in.get()));
    if (!row)
        return 1;
    exrinput_ptr companion;
    if (companion_path && !(companion = prog_open_companion(prog_name, companion_path, in.get())))
        return 1;
    exroutput_ptr out;
    if (write && !(out = prog_create_output(prog_name, argv[optind + 1], in.get())))
        return 1;
    int w = exrinput_get_width(in.get());
    double sum = 0;
    for (int p = 0; p < passes - 1; p++)
        prog_scan(prog_name, in.get(), "Scanning", 10, [&](const rgba_t *src, int) {
            for (int x = 0; x < w; x++)
                sum += src[x].g;
        });
    const bool own = !written.empty();
    const rgba_t *next = written.data();
    auto copy = [&](const rgba_t &px) { return own ? *next++ : px; };
    if (!write && companion)
        prog_scan(prog_name, in.get(), "Scanning", 10, [&](const rgba_t *src, int y) {
            const rgba_t *other = exrinput_get_scanline(companion.get(), y);
            for (int x = 0; x < w; x++)
                sum += src[x].g + other[x].g;
        });
    else if (!write)
        prog_scan(prog_name, in.get(), "Scanning", 10, [&](const rgba_t *src, int) {
            for (int x = 0; x < w; x++)
                sum += src[x].g;
        });
    else if (companion)
        prog_map2(prog_name, in.get(), companion.get(), out.get(), row.get(), "Writing", 10,
                  [&](const rgba_t &px, const rgba_t &) { return copy(px); });
    else
        prog_map(prog_name, in.get(), out.get(), row.get(), "Writing", 10, copy);
    fprintf(stderr, "\n%s: sum %g\n", prog_name, sum);
    int status = prog_finish(prog_name, out.get(),
                             {exrinput_get_damage(in.get()),
                              companion ? exrinput_get_damage(companion.get()) : nullptr});

    start = std::chrono::steady_clock::now();
    std::vector<rgba_t>().swap(written);
    untimed += std::chrono::steady_clock::now() - start;
    if (written_path)
        printf("%s: untimed %.6f\n", prog_name, untimed.count());
    return status;
}
