// JPEG reader over libjpeg: decodes the whole image when opened, closes the
// file, and hands out any row as 3 bytes a pixel (Y, Cb, Cr when asked for
// YCbCr, in which case YCbCr and greyscale files are accepted). The file is
// read once from start to end, so a pipe or a FIFO serves as well.
#ifndef JPEGINPUT_H
#define JPEGINPUT_H

#include <cstdint>
#include <memory>

#include "damage.h"

struct jpeginput_t;

// The most memory, in bytes, an image may need of libjpeg's whole-image
// coefficient buffers (files of several scans, progressive ones among them,
// are held whole as coefficients before a row can be put out), and where
// the file's size cannot bound the image (a stream, an arithmetic-coded
// file), of those and the pixels together: 4 GiB.
const uint64_t jpeginput_max_memory = uint64_t(1) << 32;

// Opens, decodes and closes path. With ycbcr set, samples are the decoded
// Y, Cb, Cr with no colour conversion, a greyscale file's as Y, 128, 128;
// otherwise libjpeg's default output colour space stands (RGB for a grey
// file). Prints "jpeginput: Colour space %d (YCbCr %d).\n" and
// "jpeginput: 601 sampling %d.\n" on stderr once the header is read.
// Before anything is decoded, a header announcing more pixels than an int
// can count, more blocks than a Huffman-coded regular file could hold (a
// bit each), or more than jpeginput_max_memory is refused with a
// "jpeginput: <path>: WxH image ..." line.
// When colour_space is not null it receives the file's colour space as
// libjpeg numbers it (1 grey, 2 RGB, 3 YCbCr, 4 CMYK, 5 YCCK; 0 until the
// header is read). With ycbcr set, an RGB, CMYK or YCCK file is refused
// with nothing printed after the two lines above, for the caller to say so.
// On any other failure prints "jpeginput: ..." or libjpeg's error text on
// stderr and returns null; nothing is printed when the handle itself
// cannot be allocated. A file whose data ends early or is corrupt is
// decoded whole, with grey where data is missing, and its damage recorded
// (see jpeginput_get_damage). The caller owns the handle until
// jpeginput_delete.
[[nodiscard]] jpeginput_t *jpeginput_new(const char *path, int ycbcr,
                                         int *colour_space = nullptr);

int jpeginput_get_width(const jpeginput_t *in);
int jpeginput_get_height(const jpeginput_t *in);

// The orientation of the file's EXIF block (1 ... 8; 1 when it has none or
// none that can be read). The pixels are as stored, whatever it says.
int jpeginput_get_orientation(const jpeginput_t *in);

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
