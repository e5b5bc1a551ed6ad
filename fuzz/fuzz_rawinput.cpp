// Fuzzes the raw grid reader: any length of file, shorter or longer than
// the grid.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "fuzz_file.h"
#include "rawinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static std::unique_ptr<float[]> grid(new float[size_t(rawinput_width) * rawinput_height]);
    fuzz_file file(data, size);
    FILE *in = fopen(file.path(), "r");
    if (!in)
        return 0;
    size_t got = rawinput_read_grid(in, grid.get());
    fclose(in);
    if (got > size || got > rawinput_bytes)
        __builtin_trap();
    return 0;
}
