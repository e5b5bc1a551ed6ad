// The raw grid reader: one read of the whole grid, then each big-endian word
// reassembled in host order.
#include "rawinput.h"

#include <cstdint>
#include <cstring>

size_t rawinput_read_grid(FILE *in, float *grid)
{
    unsigned char *bytes = reinterpret_cast<unsigned char *>(grid);
    size_t got = fread(bytes, 1, rawinput_bytes, in);
    memset(bytes + got, 0, rawinput_bytes - got);
    for (size_t i = 0; i < rawinput_bytes; i += 4) {
        uint32_t word = uint32_t(bytes[i]) << 24 | uint32_t(bytes[i + 1]) << 16 |
                        uint32_t(bytes[i + 2]) << 8 | bytes[i + 3];
        memcpy(bytes + i, &word, 4);
    }
    return got;
}
