// PNG reader over libpng: decodes the whole image when opened (palette,
// low-bit grey and tRNS expanded) and hands out any row as R, G, B[, A]
// samples of 8 or 16 bits. The file's colour metadata is not applied.
#ifndef PNGINPUT_H
#define PNGINPUT_H

#include <memory>

struct pnginput_t;

// Opens and decodes path. On failure prints "pnginput: ..." (or libpng's own
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
