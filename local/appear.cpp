// Command line and exponent of radappear and its variants.
#include "appear.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

static const char usage_long[] =
    "Usage: radappear [-m mval] [-c cval] [-k kval] [-l lval] input.exr blur.exr output.exr\n";
static const char usage_short[] =
    "Usage: radappear [-m mval] [-c cval] [-k kval] input.exr blur.exr output.exr\n";

int appear_parse(int argc, char **argv, appear_params *p)
{
    // The raw count comes first, so a lone "-m" gets the long text.
    if (argc < 4) {
        fputs(usage_long, stderr);
        return 0;
    }
    int opt;
    while ((opt = getopt(argc, argv, "m:c:k:l:")) != -1) {
        switch (opt) {
        case 'm': p->m = atof(optarg); break;
        case 'c': p->c = atof(optarg); break;
        case 'k': p->k = atof(optarg); break;
        case 'l': p->l = atof(optarg); break;
        default:
            fputs(usage_short, stderr);
            return 0;
        }
    }
    if (argc - optind < 3) {
        fputs(usage_long, stderr);
        return 0;
    }
    return optind;
}

void appear_print_params(const appear_params &p)
{
    fprintf(stderr, "m %f, c %f, k %f, l %f\n", p.m, p.c, p.k, p.l);
}
