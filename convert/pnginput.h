// PNG reader over libpng: decodes the whole image when opened (palette,
// low-bit grey and tRNS expanded) and hands out any row as R, G, B[, A]
// samples of 8 or 16 bits. The file's colour metadata is not applied. The
// file is read once from start to end, so a pipe or a FIFO serves as well.
#ifndef PNGINPUT_H
#define PNGINPUT_H

#include <cstdint>
#include <memory>

struct pnginput_t;

// The most decoded image data, in bytes, read from an input whose size
// cannot be known beforehand (a pipe, a FIFO, a device): 4 GiB. A regular
// file is held instead to what its compressed data could inflate to.
const uint64_t pnginput_max_stream_bytes = uint64_t(1) << 32;

// Opens and decodes path. Before libpng starts, a header announcing more
// pixels than an int can count, more than the file could hold, or (from a
// stream) more than pnginput_max_stream_bytes is refused with a
// "pnginput: <path>: WxH image ..." line. Ancillary chunks other than tRNS
// are skipped unread. On failure prints "pnginput: ..." (or libpng's own
// error text) on stderr and returns null; nothing is printed when the handle
// itself cannot be allocated. The caller owns the handle until
// pnginput_delete.
[[nodiscard]] pnginput_t *pnginput_new(const char *path);

int pnginput_get_width(const pnginput_t *in);
int pnginput_get_height(const pnginput_t *in);
// 1 when rows carry R, G, B, A; 0 when they carry R, G, B.
int pnginput_has_alpha(const pnginput_t *in);
// 8 or 16: the bits of every sample; 16-bit samples are big-endian.
int pnginput_get_bit_depth(const pnginput_t *in);

// Row y (0 is the top, 0 <= y < height): width x (3 or 4) samples of
// bit_depth / 8 bytes each. Owned by the handle; a grey image's row is
// valid until the next call, a colour image's until pnginput_delete.
const unsigned char *pnginput_get_scanline(pnginput_t *in, int y);

// Releases the decoded image, libpng's structures and the file; null is
// allowed.
void pnginput_delete(pnginput_t *in);

struct pnginput_closer {
    void operator()(pnginput_t *in) const { pnginput_delete(in); }
};
using pnginput_ptr = std::unique_ptr<pnginput_t, pnginput_closer>;

#endif
