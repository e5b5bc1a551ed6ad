// exrcopy: the floor the suite's programs are measured against. Copies an
// EXR image through the suite's own reader and writer, optionally after a
// statistics pass that reads every row once more.
// Usage: exrcopy [-2] input.exr output.exr
#include <cstdio>
#include <cstring>

#include "prog.h"

static const char prog_name[] = "exrcopy";

int main(int argc, char **argv)
{
    bool two_pass = argc > 1 && strcmp(argv[1], "-2") == 0;
    int first = two_pass ? 2 : 1;
    if (argc - first < 2) {
        fprintf(stderr, "Usage: exrcopy [-2] input.exr output.exr\n");
        return 1;
    }
    exrinput_ptr in = prog_open_input(prog_name, argv[first]);
    if (!in)
        return 1;
    row_ptr row = prog_alloc_row(prog_name, exrinput_get_width(in.get()));
    if (!row)
        return 1;
    exroutput_ptr out = prog_create_output(prog_name, argv[first + 1], in.get());
    if (!out)
        return 1;
    if (two_pass) {
        double sum = 0;
        prog_scan(prog_name, in.get(), "Scanning", 10, [&](const rgba_t *src, int) {
            for (int x = 0, w = exrinput_get_width(in.get()); x < w; x++)
                sum += src[x].g;
        });
        fprintf(stderr, "\n%s: sum %g\n", prog_name, sum);
    }
    prog_map(prog_name, in.get(), out.get(), row.get(), "Writing", 10,
             [](const rgba_t &px) { return px; });
    prog_done(prog_name);
    return prog_close(std::move(out), std::move(in));
}
