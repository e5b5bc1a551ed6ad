// Fuzzes the PNG reader: open and decode the bytes, fetch every row (grey
// rows are widened on each fetch), close.
#include <cstddef>
#include <cstdint>

#include "fuzz_file.h"
#include "pnginput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_file file(data, size);
    pnginput_t *in = pnginput_new(file.path());
    if (!in)
        return 0;
    int w = pnginput_get_width(in), h = pnginput_get_height(in);
    size_t row_bytes = size_t(w) * (pnginput_has_alpha(in) ? 4 : 3) *
                       size_t(pnginput_get_bit_depth(in) / 8);
    unsigned sum = 0;
    for (int y = 0; y < h; y++) {
        const unsigned char *row = pnginput_get_scanline(in, y);
        // touch the first and last byte the row is said to hold
        sum += row[0] + row[row_bytes - 1];
    }
    pnginput_delete(in);
    return int(sum & 0);
}
