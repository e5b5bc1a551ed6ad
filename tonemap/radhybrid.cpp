// radhybrid: photoreceptor tone mapping of the cone responses, each cone's
// semi-saturation value taken from the same cone of a second image at the
// same position: V = C / (C + sigma_C). -a is accepted, clamped and reported
// but does not enter the mapping.
// Usage: radhybrid [-f fval] [-m mval] [-a aval] input.exr chr.exr output.exr
#include "hybrid.h"
#include "heap.h"

int main(int argc, char **argv)
{
    heap_keep_freed();
    receptor_params p;
    int first, status;
    if (!prog_parse(hybrid::command("radhybrid", &p), argc, argv, &first, &status))
        return status;
    prog_files files;
    if (!prog_open_files(hybrid::prog_name, argv[first], argv[first + 1], argv[first + 2], &files))
        return 1;
    hybrid::settle(files.in.get(), &p);
    prog_map2(hybrid::prog_name, files, "Correcting scanline", 10,
              [&](const rgba_t &px, const rgba_t &px2) { return hybrid::pixel<receptor_response>(px, px2, p); });
    return prog_finish(hybrid::prog_name, files);
}
