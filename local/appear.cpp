// Command line and exponent of radappear and its variants.
#include "appear.h"

#include <cstdio>

static const char usage_long[] =
    "Usage: radappear [-m mval] [-c cval] [-k kval] [-l lval] input.exr blur.exr output.exr\n";
static const char usage_short[] =
    "Usage: radappear [-m mval] [-c cval] [-k kval] input.exr blur.exr output.exr\n";

prog_command appear_command(const char *program, appear_params *p)
{
    // The raw count comes first, so a lone "-m" gets the long text.
    return {"radappear", program, usage_long, 3, 3,
            {{'m', &p->m, "adaptation luminance scale", ""},
             {'c', &p->c, "input scale", ""},
             {'k', &p->k, "exponent gain", ""},
             {'l', &p->l, "exponent floor", ""}},
            usage_short};
}

void appear_print_params(const appear_params &p)
{
    fprintf(stderr, "m %f, c %f, k %f, l %f\n", p.m, p.c, p.k, p.l);
}
