// Fuzzes the JPEG reader as radjfif uses it (YCbCr samples) and with
// libjpeg's default output colour space: decode, fetch every row, close.
#include <cstddef>
#include <cstdint>

#include "fuzz_file.h"
#include "jpeginput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_file file(data, size);
    unsigned sum = 0;
    for (int ycbcr = 1; ycbcr >= 0; ycbcr--) {
        jpeginput_t *in = jpeginput_new(file.path(), ycbcr);
        if (!in)
            continue;
        int w = jpeginput_get_width(in), h = jpeginput_get_height(in);
        for (int y = 0; y < h; y++) {
            const unsigned char *row = jpeginput_get_scanline(in, y);
            sum += row[0] + row[size_t(w) * 3 - 1];
        }
        jpeginput_delete(in);
    }
    return int(sum & 0);
}
