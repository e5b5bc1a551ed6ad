// radhybrid-inverse: undoes radhybrid, restoring each cone response from its
// compressed value V and the same cone of the second image at the same
// position: C = sigma_C V / (1 - V). Prints under the name radhybrid. -a is
// accepted, clamped and reported but does not enter the mapping.
// Usage: radhybrid [-f fval] [-m mval] [-a aval] input.exr chr.exr output.exr
#include "hybrid.h"

int main(int argc, char **argv)
{
    return hybrid::run<receptor_inverse>(argc, argv);
}
