// Fixture files for the converters' tests, written and read back through
// libpng and libjpeg themselves rather than through the suite's modules.
#ifndef TEST_FIXTURES_H
#define TEST_FIXTURES_H

#include <string>
#include <vector>

namespace fixtures {

// A PNG to write: rows of samples packed exactly as the file stores them.
struct png_image {
    int w = 0, h = 0;
    int colour_type = 2; // 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
    int bit_depth = 8;
    std::vector<unsigned char> rows;    // h rows, each (w * bits + 7) / 8 bytes
    std::vector<unsigned char> palette; // R, G, B triples for colour type 3
    std::vector<unsigned char> trns;    // palette alphas (tRNS) for colour type 3
    double gamma = 0;                   // a gAMA chunk with this gamma when > 0
};

// Writes img; false when libpng refused it.
bool write_png(const std::string &path, const png_image &img);

// Writes the PNG signature and a well-formed IHDR chunk announcing w x h
// and nothing else: a file whose header promises far more than it holds.
bool write_png_header_only(const std::string &path, unsigned w, unsigned h, int bit_depth,
                           int colour_type);

// What a written PNG holds, as libpng reads it without transformations.
struct png_file {
    bool ok = false;
    int w = 0, h = 0, colour_type = -1, bit_depth = 0, interlace = -1;
    bool has_srgb = false, has_gama = false, has_chrm = false;
    int srgb_intent = -1;
    double gamma = 0;                      // file gamma from gAMA
    double chrm[8] = {};                   // white x, y, red x, y, green x, y, blue x, y
    std::vector<unsigned char> rows;       // h rows of packed samples
};
png_file read_png(const std::string &path);

// Writes a JPEG from raw Y, Cb, Cr samples (3 bytes a pixel, w x h) at
// quality 100 with no chroma subsampling, so that uniform 8 x 8 blocks
// decode to exactly their samples.
bool write_jpeg_ycbcr(const std::string &path, int w, int h, const std::vector<unsigned char> &ycc);

// The same as a progressive JPEG (libjpeg's simple progression), Huffman-
// or arithmetic-coded.
bool write_jpeg_progressive(const std::string &path, int w, int h,
                            const std::vector<unsigned char> &ycc, bool arithmetic = false);

// Writes a one-component greyscale JPEG of w x h pixels of one value.
bool write_jpeg_grey(const std::string &path, int w, int h, unsigned char value);

// Writes a four-component JPEG of w x h pixels, stored as CMYK or (with
// ycck set) as YCCK.
bool write_jpeg_cmyk(const std::string &path, int w, int h, bool ycck);

} // namespace fixtures

#endif
