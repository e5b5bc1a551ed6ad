// radjfif: converts a YCbCr (or greyscale) JPEG photograph into a linear
// RGBA EXR.
// Usage: radjfif input.jpg output.exr
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "colour.h"
#include "jpeginput.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radjfif";
static const char usage[] = "Usage: radjfif input.jpg output.exr\n";

// One pixel from its decoded Y, Cb, Cr samples (0 ... 255): the samples are
// scaled by 1/256 with chroma centred on 128, converted to R, G, B with the
// program's own matrix and linearised. Alpha is 1.
static rgba_t jfif_pixel(double Y, double Cb, double Cr)
{
    double y = Y * 0.00390625, cb = (Cb - 128) * 0.00390625, cr = (Cr - 128) * 0.00390625;
    double r = (y - 0.0009 * cb) + 1.4017 * cr;
    double g = (y - 0.3437 * cb) - 0.7142 * cr;
    double b = (1.7722 * cb + y) + 0.001 * cr;
    return {srgb_to_linear(r), srgb_to_linear(g), srgb_to_linear(b), 1.0};
}

// The pixels of recently seen Y, Cb, Cr triples. A photograph repeats a
// triple often among neighbouring pixels, and each new one costs up to
// three pow calls; the stored pixel is the one jfif_pixel computed, so the
// output is the same. Direct-mapped: a triple has one slot, picked by a
// multiplicative hash, and a newer triple of the same slot replaces it.
struct jfif_cache {
    static constexpr int bits = 14;
    uint32_t key[1 << bits] = {}; // the triple + 1; 0 is an empty slot
    rgba_t pixel[1 << bits];

    const rgba_t &get(unsigned char Y, unsigned char Cb, unsigned char Cr)
    {
        const uint32_t k = (uint32_t(Y) << 16 | uint32_t(Cb) << 8 | Cr) + 1;
        const uint32_t slot = (k * 2654435761u) >> (32 - bits);
        if (key[slot] != k) {
            key[slot] = k;
            pixel[slot] = jfif_pixel(Y, Cb, Cr);
        }
        return pixel[slot];
    }
};

// The kind of JPEG the reader refuses for its colour space (libjpeg's
// number for it), or null for any other.
static const char *refused_kind(int colour_space)
{
    switch (colour_space) {
    case 2: return "an RGB";
    case 4: return "a CMYK";
    case 5: return "a YCCK";
    default: return nullptr;
    }
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radjfif", usage, 2}, argc, argv, &first, &status))
        return status;
    int colour_space = 0;
    jpeginput_ptr in(jpeginput_new(argv[first], 1, &colour_space));
    if (!in) {
        if (const char *kind = refused_kind(colour_space))
            fprintf(stderr, "%s: %s is %s JPEG; only YCbCr and greyscale JPEGs are converted.\n",
                    prog_name, argv[first], kind);
        return prog_cannot_open(prog_name, argv[first], PROG_NO_STOP);
    }
    int w = jpeginput_get_width(in.get()), h = jpeginput_get_height(in.get());
    prog_size_line(prog_name, argv[first], w, h);
    int orientation = jpeginput_get_orientation(in.get());
    if (orientation != 1)
        fprintf(stderr, "%s: %s: EXIF orientation %d is not applied; the image is converted as "
                        "stored.\n",
                prog_name, argv[first], orientation);
    row_ptr row = prog_alloc_row(prog_name, w);
    if (!row)
        return 1;
    std::unique_ptr<jfif_cache> cache(new (std::nothrow) jfif_cache);
    if (!cache) {
        fprintf(stderr, "%s: Cannot allocate memory.\n", prog_name);
        return 1;
    }
    exroutput_ptr out = prog_create_output(prog_name, argv[first + 1], w, h, PROG_NO_STOP);
    if (!out)
        return 1;

    for (int y = 0; y < h; y++) {
        const unsigned char *src = jpeginput_get_scanline(in.get(), y);
        prog_progress(prog_name, "Output scanline", y, 1);
        for (size_t x = 0; x < size_t(w); x++)
            row[x] = cache->get(src[3 * x], src[3 * x + 1], src[3 * x + 2]);
        exroutput_write_scanline(out.get(), row.get());
    }

    return prog_finish(prog_name, out.get(), {jpeginput_get_damage(in.get())});
}
