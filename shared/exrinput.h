// Row-at-a-time reader of RGBA EXR images: any row of the data window as an
// array of rgba_t doubles, decoded on demand from the file's half floats.
#ifndef EXRINPUT_H
#define EXRINPUT_H

#include "damage.h"
#include "rgba.h"

struct exrinput_t;

// Opens path. On failure prints "exrinput: <reason>\n" on stderr and returns
// null; names from the file in it, and in the library's texts, are shown
// through printable(). The caller owns the handle until exrinput_delete.
[[nodiscard]] exrinput_t *exrinput_new(const char *path);

// Width and height of the file's data window.
int exrinput_get_width(const exrinput_t *in);
int exrinput_get_height(const exrinput_t *in);

// Row y (0 is the top of the data window, 0 <= y < height), owned by the
// handle and valid until the next call on it or exrinput_delete. A row the
// library cannot decode is delivered as zeros and counted as damage.
const rgba_t *exrinput_get_scanline(exrinput_t *in, int y);

// The rows that could not be decoded so far, each counted once, with the
// library's reason for the first; owned by the handle.
const input_damage *exrinput_get_damage(const exrinput_t *in);

// Closes the file and releases the handle; null is allowed.
void exrinput_delete(exrinput_t *in);

#endif
