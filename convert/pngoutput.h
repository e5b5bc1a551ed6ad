// Row-at-a-time PNG writer over libpng: 8-bit RGB or RGBA with the sRGB
// (relative colorimetric), gAMA and cHRM chunks. The file is opened through
// the suite's write policy (outfile.h): rows go to a temporary file that
// replaces the target only when pngoutput_commit completes it (or straight
// to a device, FIFO or stream).
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
// fails pngoutput_commit.
void pngoutput_write_scanline(pngoutput_t *out, const unsigned char *row);

// Completes the file and moves it over the target. Returns 0, or 1 when
// rows are missing or were refused, or the file could not be completed
// (after a message for the last two); the target is then as it was.
[[nodiscard]] int pngoutput_commit(pngoutput_t *out);

// The path the output was created for.
const char *pngoutput_get_path(const pngoutput_t *out);

// Releases the output, discarding it unless it was committed; null is
// allowed.
void pngoutput_delete(pngoutput_t *out);

struct pngoutput_closer {
    void operator()(pngoutput_t *out) const { pngoutput_delete(out); }
};
using pngoutput_ptr = std::unique_ptr<pngoutput_t, pngoutput_closer>;

// The finish step's view of it (see prog.h).
inline int prog_commit(pngoutput_t *out)
{
    return pngoutput_commit(out);
}
inline const char *prog_output_path(const pngoutput_t *out)
{
    return pngoutput_get_path(out);
}

#endif
