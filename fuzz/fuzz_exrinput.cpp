// Fuzzes the EXR reader: open the bytes as a file, read every row (the
// first rows twice, out of order), close.
#include <cstddef>
#include <cstdint>

#include "exrinput.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_file file(data, size);
    exrinput_t *in = exrinput_new(file.path());
    if (!in)
        return 0;
    int h = exrinput_get_height(in);
    for (int y = 0; y < h && y < 256; y++)
        exrinput_get_scanline(in, y);
    if (h > 1) {
        exrinput_get_scanline(in, 1);
        exrinput_get_scanline(in, 0);
    }
    exrinput_delete(in);
    return 0;
}
