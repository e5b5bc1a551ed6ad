// exrcopy: the floor the suite's programs are measured against. Reads an EXR
// image through the suite's own reader `passes` times (the last pass also
// writes it through the suite's writer, unless -n is given).
// Usage: exrcopy [-p passes] [-n] input.exr [output.exr]
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "prog.h"

static const char prog_name[] = "exrcopy";
static const char usage[] = "Usage: exrcopy [-p passes] [-n] input.exr [output.exr]\n";

int main(int argc, char **argv)
{
    int passes = 1;
    bool write = true;
    int opt;
    while ((opt = getopt(argc, argv, "p:n")) != -1) {
        if (opt == 'p')
            passes = atoi(optarg);
        else if (opt == 'n')
            write = false;
        else {
            fputs(usage, stderr);
            return 1;
        }
    }
    if (argc - optind < (write ? 2 : 1) || passes < 1) {
        fputs(usage, stderr);
        return 1;
    }
    exrinput_ptr in = prog_open_input(prog_name, argv[optind]);
    if (!in)
        return 1;
    row_ptr row = prog_alloc_row(prog_name, exrinput_get_width(in.get()));
    if (!row)
        return 1;
    exroutput_ptr out;
    if (write && !(out = prog_create_output(prog_name, argv[optind + 1], in.get())))
        return 1;
    int w = exrinput_get_width(in.get());
    double sum = 0;
    for (int p = 0; p < (write ? passes - 1 : passes); p++)
        prog_scan(prog_name, in.get(), "Scanning", 10, [&](const rgba_t *src, int) {
            for (int x = 0; x < w; x++)
                sum += src[x].g;
        });
    if (write)
        prog_map(prog_name, in.get(), out.get(), row.get(), "Writing", 10,
                 [](const rgba_t &px) { return px; });
    fprintf(stderr, "\n%s: sum %g\n", prog_name, sum);
    prog_done(prog_name);
    return prog_close(std::move(out), std::move(in));
}
