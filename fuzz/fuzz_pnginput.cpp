// Fuzzes the PNG reader: open and decode the bytes, fetch every row (grey
// rows are widened on each fetch), close. Every chunk's CRC is made right
// first, so that mutations reach the decoder instead of stopping at
// libpng's CRC check.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_file.h"
#include "pnginput.h"

namespace {

uint32_t crc_of(const uint8_t *p, size_t n)
{
    uint32_t c = 0xffffffffu;
    for (size_t i = 0; i < n; i++) {
        c ^= p[i];
        for (int k = 0; k < 8; k++)
            c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
    }
    return c ^ 0xffffffffu;
}

// Walks the chunks after the 8-byte signature and rewrites each CRC.
void fix_crcs(std::vector<uint8_t> &png)
{
    size_t at = 8;
    while (at + 12 <= png.size()) {
        size_t len = size_t(png[at]) << 24 | size_t(png[at + 1]) << 16 | size_t(png[at + 2]) << 8 |
                     png[at + 3];
        if (len > png.size() - at - 12)
            return;
        uint32_t crc = crc_of(&png[at + 4], len + 4);
        for (int i = 0; i < 4; i++)
            png[at + 8 + len + i] = uint8_t(crc >> (8 * (3 - i)));
        at += len + 12;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> png(data, data + size);
    fix_crcs(png);
    fuzz_file file(png.data(), png.size());
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
