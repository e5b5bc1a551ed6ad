// radexport: converts a linear RGBA EXR image into an 8-bit sRGB-encoded RGBA PNG.
// Usage: radexport input.exr output.png
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>

#include <Imath/half.h>
#include <OpenEXR/ImfCRgbaFile.h>

#include "colour.h"
#include "exrinput.h"
#include "pngoutput.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radexport";
static const char usage[] = "Usage: radexport input.exr output.png\n";

// Alpha is stored linearly, clipped to [0, 1] (not a number gives 0).
static double clip_alpha(double a)
{
    if (!(a >= 0))
        return 0;
    return a > 1 ? 1 : a;
}

// A value in [0, 1] as a byte, halves rounded up.
static unsigned char quantise(double v)
{
    return static_cast<unsigned char>(v * 255 + 0.5);
}

// The reader hands out values that were half floats, so the encoded byte
// of every one of the 65536 halves is computed once, with the same formula,
// instead of a pow per sample. A value that does not convert back to
// itself exactly (not a half, or not a number) takes the formula directly.
struct srgb_byte_table {
    unsigned char byte[65536];
    srgb_byte_table()
    {
        for (unsigned bits = 0; bits < 65536; bits++)
            byte[bits] = quantise(srgb_from_linear(imath_half_to_float(ImfHalf(bits))));
    }
    unsigned char encode(double c) const
    {
        ImfHalf bits = imath_float_to_half(float(c));
        if (double(imath_half_to_float(bits)) == c)
            return byte[bits];
        return quantise(srgb_from_linear(c));
    }
};

// One pixel into four bytes R, G, B, A.
static void export_pixel(const rgba_t &px, const srgb_byte_table &table, unsigned char *bytes)
{
    bytes[0] = table.encode(px.r);
    bytes[1] = table.encode(px.g);
    bytes[2] = table.encode(px.b);
    bytes[3] = quantise(clip_alpha(px.a));
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radexport", usage, 2}, argc, argv, &first, &status))
        return status;
    exrinput_ptr in(exrinput_new(argv[first]));
    if (!in)
        return prog_cannot_open(prog_name, argv[first], PROG_NO_STOP);
    int w = exrinput_get_width(in.get()), h = exrinput_get_height(in.get());
    prog_size_line(prog_name, argv[first], w, h);
    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[size_t(w) * 4]);
    if (!bytes) {
        fprintf(stderr, "%s: Cannot allocate memory.\n", prog_name);
        return 1;
    }
    pngoutput_ptr out(pngoutput_new(argv[first + 1], w, h, 1, 1));
    if (!out)
        return prog_cannot_open(prog_name, argv[first + 1]);

    static const srgb_byte_table table;
    for (int y = 0; y < h; y++) {
        const rgba_t *row = exrinput_get_scanline(in.get(), y);
        prog_progress(prog_name, "Writing scanline", y, 10);
        for (size_t x = 0; x < size_t(w); x++)
            export_pixel(row[x], table, &bytes[4 * x]);
        pngoutput_write_scanline(out.get(), bytes.get());
    }

    return prog_finish(prog_name, out.get(), {exrinput_get_damage(in.get())});
}
