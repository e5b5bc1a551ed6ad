// Row-at-a-time PNG writer over libpng: 8-bit RGB or RGBA with the sRGB
// (relative colorimetric), gAMA and cHRM chunks. Rows go to a temporary file
// beside the target, which replaces the target only when every row has been
// written and libpng and the system reported no error.
#ifndef PNGOUTPUT_H
#define PNGOUTPUT_H

#include <memory>

struct pngoutput_t;

// Creates an output of width x height for path and writes everything up to
// the image data. alpha selects RGBA rows (else RGB); compress selects the
// Paeth filter at level 9 (else no filter, level 0). On failure prints
// "pngoutput: ..." on stderr and returns null; nothing is printed when the
// handle itself cannot be allocated.
[[nodiscard]] pngoutput_t *pngoutput_new(const char *path, int width, int height, int alpha,
                                         int compress);

// Writes the next row, top first: width x 4 bytes with alpha, else x 3.
// The row is only read. A libpng error is reported on stderr once and
// fails pngoutput_delete.
void pngoutput_write_scanline(pngoutput_t *out, const unsigned char *row);

// Completes the file and moves it over the target when all rows were
// written without error, returning 0; otherwise removes the temporary file
// and returns 1 (after a message if a write failed). An output deleted
// before its last row is discarded silently. Null gives 0.
int pngoutput_delete(pngoutput_t *out);

struct pngoutput_closer {
    void operator()(pngoutput_t *out) const { pngoutput_delete(out); }
};
using pngoutput_ptr = std::unique_ptr<pngoutput_t, pngoutput_closer>;

#endif
