// radconegamma: raises each cone response (LMS) of every pixel to the power n,
// keeping its sign, and converts back to RGB.
// Usage: radconegamma [-n nval] input.exr output.exr
#include <cstdio>
#include <initializer_list>
#include <cstdlib>
#include <unistd.h>

#include "colour.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radconegamma";
static const char usage[] = "Usage: radconegamma [-n nval] input.exr output.exr\n";

// RGB -> XYZ -> LMS, signed power n, back to RGB; negative results become 0.
static rgba_t conegamma_pixel(const rgba_t &px, double n)
{
    double l, m, s;
    rgb_to_lms(px.r, px.g, px.b, &l, &m, &s);
    rgba_t out = lms_to_rgba(signed_pow(l, n), signed_pow(m, n), signed_pow(s, n), px.a);
    for (double *v : {&out.r, &out.g, &out.b})
        if (*v < 0)
            *v = 0;
    return out;
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    // Three arguments at least, counted before the options: the two file
    // names alone are refused.
    double n = 0.73;
    const prog_command command = {prog_name, "radconegamma", usage, 3, 2,
                                  {{'n', &n, "the power of the cone responses", ""}}};
    int first, status;
    if (!prog_parse(command, argc, argv, &first, &status))
        return status;
    fprintf(stderr, "radconegamma: n %f\n", n);

    prog_files files;
    if (!prog_open_files(prog_name, argv[first], nullptr, argv[first + 1], &files))
        return 1;

    prog_map(prog_name, files, "Correcting scanline", 10,
             [&](const rgba_t &px) { return conegamma_pixel(px, n); });

    return prog_finish(prog_name, files);
}
