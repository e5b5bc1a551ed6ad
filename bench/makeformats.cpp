// makeformats: writes the converters' benchmark inputs from an EXR image:
// an 8-bit RGB PNG, a baseline JPEG, a binary PPM and a raw grid of
// 768 x 512 big-endian floats (the image's luminance, cropped or tiled).
// Usage: makeformats input.exr stem
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "colour.h"
#include "prog.h"
#include "heap.h"

static unsigned char encode(double v)
{
    v = v < 0 ? 0 : v > 1 ? 1 : v;
    v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    return (unsigned char)(v * 255 + 0.5);
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    if (argc < 3) {
        fprintf(stderr, "Usage: makeformats input.exr stem\n");
        return 1;
    }
    exrinput_ptr in(exrinput_new(argv[1]));
    if (!in)
        return 1;
    int w = exrinput_get_width(in.get()), h = exrinput_get_height(in.get());
    std::vector<unsigned char> rgb(size_t(w) * h * 3);
    std::vector<float> lum(size_t(w) * h);
    for (int y = 0; y < h; y++) {
        const rgba_t *row = exrinput_get_scanline(in.get(), y);
        for (int x = 0; x < w; x++) {
            size_t i = size_t(y) * w + x;
            rgb[3 * i] = encode(row[x].r);
            rgb[3 * i + 1] = encode(row[x].g);
            rgb[3 * i + 2] = encode(row[x].b);
            lum[i] = float(rgb_luminance(row[x].r, row[x].g, row[x].b));
        }
    }
    std::string stem = argv[2];

    FILE *f = fopen((stem + ".png").c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, 0, 0, 0);
    png_write_info(png, info);
    for (int y = 0; y < h; y++)
        png_write_row(png, &rgb[size_t(y) * w * 3]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    fclose(f);

    f = fopen((stem + ".jpg").c_str(), "wb");
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = w;
    cinfo.image_height = h;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = &rgb[size_t(cinfo.next_scanline) * w * 3];
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    fclose(f);

    f = fopen((stem + ".ppm").c_str(), "wb");
    fprintf(f, "P6\n%d %d\n255\n", w, h);
    fwrite(rgb.data(), 1, rgb.size(), f);
    fclose(f);

    f = fopen((stem + ".raw").c_str(), "wb");
    for (int y = 0; y < 512; y++)
        for (int x = 0; x < 768; x++) {
            float v = lum[size_t(y % h) * w + x % w];
            uint32_t u;
            memcpy(&u, &v, 4);
            unsigned char be[4] = {(unsigned char)(u >> 24), (unsigned char)(u >> 16),
                                   (unsigned char)(u >> 8), (unsigned char)u};
            fwrite(be, 1, 4, f);
        }
    fclose(f);
    return 0;
}
