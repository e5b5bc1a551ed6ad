// radhybrid: photoreceptor tone mapping of the cone responses, each cone's
// semi-saturation value taken from the same cone of a second image at the
// same position: V = C / (C + sigma_C). -a is accepted, clamped and reported
// but does not enter the mapping.
// Usage: radhybrid [-f fval] [-m mval] [-a aval] input.exr chr.exr output.exr
#include "hybrid.h"

int main(int argc, char **argv)
{
    return hybrid::run<receptor_response>(argc, argv);
}
