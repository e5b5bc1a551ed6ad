// JPEG reader over libjpeg: decodes the whole image when opened, closes the
// file, and hands out any row as 3 bytes a pixel (Y, Cb, Cr when asked for
// YCbCr, in which case only three-component YCbCr files are accepted).
#ifndef JPEGINPUT_H
#define JPEGINPUT_H

#include <memory>

#include "damage.h"

struct jpeginput_t;

// Opens, decodes and closes path. With ycbcr set, samples are the decoded
// Y, Cb, Cr with no colour conversion; otherwise libjpeg's default output
// colour space stands. Prints "jpeginput: Colour space %d (YCbCr %d).\n"
// and "jpeginput: 601 sampling %d.\n" on stderr once the header is read.
// On failure prints "jpeginput: ..." or libjpeg's error text on stderr and
// returns null; nothing is printed when the handle itself cannot be
// allocated. A file whose data ends early or is corrupt is decoded whole,
// with grey where data is missing, and its damage recorded (see
// jpeginput_get_damage). The caller owns the handle until jpeginput_delete.
[[nodiscard]] jpeginput_t *jpeginput_new(const char *path, int ycbcr);

int jpeginput_get_width(const jpeginput_t *in);
int jpeginput_get_height(const jpeginput_t *in);

// libjpeg's warnings about missing or corrupt image data, the first in its
// words (none for a sound file): such an image is complete but not what
// was stored. Owned by the handle.
const input_damage *jpeginput_get_damage(const jpeginput_t *in);

// Row y (0 is the top, 0 <= y < height): 3 x width bytes, owned by the
// handle and valid until jpeginput_delete.
const unsigned char *jpeginput_get_scanline(const jpeginput_t *in, int y);

// Frees the pixels and the handle; null is allowed.
void jpeginput_delete(jpeginput_t *in);

struct jpeginput_closer {
    void operator()(jpeginput_t *in) const { jpeginput_delete(in); }
};
using jpeginput_ptr = std::unique_ptr<jpeginput_t, jpeginput_closer>;

#endif
