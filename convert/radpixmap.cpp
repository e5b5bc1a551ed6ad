// radpixmap: converts a raw PPM image (P6, 8- or 16-bit samples) into an RGBA EXR.
// Usage: radpixmap input.ppm output.exr
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "colour.h"
#include "ppminput.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radpixmap";
static const char usage[] = "Usage: radpixmap input.ppm output.exr\n";

// One pixel from its raw samples: 8-bit samples are Rec. 709 encoded,
// 16-bit ones linear and only scaled (a sample above maxval exceeds 1).
static rgba_t pixmap_pixel(unsigned r, unsigned g, unsigned b, int maxval)
{
    double m = maxval;
    if (maxval <= 255)
        return {rec709_to_linear(r / m), rec709_to_linear(g / m), rec709_to_linear(b / m), 1.0};
    return {r / m, g / m, b / m, 1.0};
}

// What a file of another Netpbm kind is, by the byte after its 'P', and how
// to bring it in; null for anything else.
struct other_kind {
    int magic;
    const char *name, *advice;
};
static const other_kind other_kinds[] = {
    {'1', "a plain PBM (P1)", "convert it to P6 first, for example with netpbm's ppmtoppm"},
    {'2', "a plain PGM (P2)", "convert it to P6 first, for example with netpbm's ppmtoppm"},
    {'3', "a plain PPM (P3)", "convert it to P6 first, for example with netpbm's ppmtoppm"},
    {'4', "a PBM (P4)", "convert it to P6 first, for example with netpbm's ppmtoppm"},
    {'5', "a PGM (P5)", "convert it to P6 first, for example with netpbm's ppmtoppm"},
    {'7', "a PAM (P7)", "convert it to P6 first, for example with netpbm's ppmtoppm"},
    {'F', "a colour PFM (PF)",
     "convert it to a 16-bit P6 first, for example with netpbm's pfmtopam -maxval=65535 and "
     "ppmtoppm (values above 1.0 are lost)"},
    {'f', "a greyscale PFM (Pf)",
     "convert it to a 16-bit P6 first, for example with netpbm's pfmtopam -maxval=65535 and "
     "ppmtoppm (values above 1.0 are lost)"},
};

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radpixmap", usage, 2}, argc, argv, &first, &status))
        return status;
    ppminput_ptr in(ppminput_new(argv[first]));
    if (!in)
        return prog_cannot_open(prog_name, argv[first], PROG_NO_STOP);
    int w, h, maxval;
    if (!ppminput_read_size(in.get(), &w, &h)) {
        int magic = ppminput_get_magic(in.get());
        for (const other_kind &k : other_kinds)
            if (k.magic == magic) {
                fprintf(stderr, "%s: %s is %s file, not a raw PPM (P6); %s.\n", prog_name, argv[first],
                        k.name, k.advice);
                return 1;
            }
        fprintf(stderr, "%s: %s is not a valid ppm file.\n", prog_name, argv[first]);
        return 1;
    }
    if (!ppminput_size_ok(w, h)) {
        fprintf(stderr, "%s: %s: %dx%d image is too large.\n", prog_name, argv[first], w, h);
        return 1;
    }
    prog_size_line(prog_name, argv[first], w, h);
    if (!ppminput_read_maxval(in.get(), &maxval)) {
        fprintf(stderr, "%s: %s is not a valid ppm file.\n", prog_name, argv[first]);
        return 1;
    }
    row_ptr row = prog_alloc_row(prog_name, w);
    if (!row)
        return 1;
    size_t bytes = ppminput_row_bytes(w, maxval);
    std::unique_ptr<unsigned char[]> raw(new (std::nothrow) unsigned char[bytes]);
    if (!raw) {
        fprintf(stderr, "%s: Cannot allocate memory.\n", prog_name);
        return 1;
    }
    exroutput_ptr out = prog_create_output(prog_name, argv[first + 1], w, h, PROG_NO_STOP);
    if (!out)
        return 1;

    // 8-bit samples have 256 values: each one's linear value is computed
    // once, with pixmap_pixel's formula, instead of a pow per sample.
    double table[256];
    for (unsigned i = 0; i < 256; i++)
        table[i] = maxval <= 255 ? pixmap_pixel(i, i, i, maxval).r : 0.0;

    // A raster that ends early is read to its end (the reader counts the
    // rows it could not fill), and the finish discards the output.
    unsigned min = UINT16_MAX, max = 0;
    size_t pixel_bytes = bytes / size_t(w);
    for (int y = 0; y < h; y++) {
        prog_progress(prog_name, "Writing scanline", y, 1);
        size_t got = ppminput_read_row(in.get(), raw.get());
        size_t complete = got / pixel_bytes;
        for (size_t x = 0; x < size_t(w); x++) {
            unsigned r = ppminput_sample(raw.get(), 3 * x, maxval);
            unsigned g = ppminput_sample(raw.get(), 3 * x + 1, maxval);
            unsigned b = ppminput_sample(raw.get(), 3 * x + 2, maxval);
            row[x] = maxval <= 255 ? rgba_t{table[r], table[g], table[b], 1.0}
                                   : pixmap_pixel(r, g, b, maxval);
            if (x < complete) {
                min = std::min({min, r, g, b});
                max = std::max({max, r, g, b});
            }
        }
        exroutput_write_scanline(out.get(), row.get());
    }

    return prog_finish(prog_name, out.get(), {ppminput_get_damage(in.get())}, [&] {
        fprintf(stderr, "\n%s: Done (min %d, max %d).\n", prog_name, int(min), int(max));
    });
}
