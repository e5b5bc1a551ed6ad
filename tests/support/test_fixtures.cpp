// Fixture writers and the PNG reader for the converters' tests. libpng and
// libjpeg report errors by longjmp, so each function that calls them keeps
// its C++ objects out of the frame that holds the setjmp.
#include "test_fixtures.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace fixtures {

namespace {

bool write_png_stream(FILE *f, const png_image &img)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(img.w), png_uint_32(img.h), img.bit_depth, img.colour_type,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (img.colour_type == PNG_COLOR_TYPE_PALETTE) {
        png_color colours[256];
        int n = int(img.palette.size() / 3);
        for (int i = 0; i < n; i++)
            colours[i] = {img.palette[3 * i], img.palette[3 * i + 1], img.palette[3 * i + 2]};
        png_set_PLTE(png, info, colours, n);
        if (!img.trns.empty())
            png_set_tRNS(png, info, img.trns.data(), int(img.trns.size()), nullptr);
    }
    if (img.gamma > 0)
        png_set_gAMA(png, info, 1 / img.gamma);
    png_write_info(png, info);
    size_t row_bytes = img.rows.size() / size_t(img.h);
    for (int y = 0; y < img.h; y++)
        png_write_row(png, img.rows.data() + size_t(y) * row_bytes);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool read_png_stream(FILE *f, png_file *out, unsigned char **rows, size_t *row_bytes)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return false;
    }
    png_init_io(png, f);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    out->w = int(png_get_image_width(png, info));
    out->h = int(png_get_image_height(png, info));
    out->colour_type = png_get_color_type(png, info);
    out->bit_depth = png_get_bit_depth(png, info);
    out->interlace = png_get_interlace_type(png, info);
    out->has_srgb = png_get_sRGB(png, info, &out->srgb_intent) != 0;
    out->has_gama = png_get_gAMA(png, info, &out->gamma) != 0;
    double *c = out->chrm;
    out->has_chrm = png_get_cHRM(png, info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]) != 0;
    *row_bytes = png_get_rowbytes(png, info);
    *rows = static_cast<unsigned char *>(malloc(*row_bytes * size_t(out->h)));
    png_bytepp src = png_get_rows(png, info);
    for (int y = 0; *rows && y < out->h; y++)
        memcpy(*rows + size_t(y) * *row_bytes, src[y], *row_bytes);
    png_destroy_read_struct(&png, &info, nullptr);
    return *rows != nullptr;
}

struct jpeg_failure {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

[[noreturn]] void jpeg_fail(j_common_ptr cinfo)
{
    longjmp(reinterpret_cast<jpeg_failure *>(cinfo->err)->jump, 1);
}

// Writes w x h pixels of `components` samples as a JPEG whose own colour
// space is `space` (YCbCr and grey stored as given, CMYK as CMYK or YCCK).
bool write_jpeg_stream(FILE *f, int w, int h, int components, const unsigned char *samples,
                       J_COLOR_SPACE space, bool progressive, bool arithmetic)
{
    jpeg_compress_struct cinfo;
    jpeg_failure err;
    memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jpeg_fail;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = JDIMENSION(w);
    cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 4 ? JCS_CMYK : components == 3 ? JCS_YCbCr : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, space);
    for (int c = 0; c < components; c++)
        cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    jpeg_set_quality(&cinfo, 100, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.arith_code = arithmetic;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples + size_t(cinfo.next_scanline) * w * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

bool write_jpeg(const std::string &path, int w, int h, int components, const unsigned char *samples,
                J_COLOR_SPACE space, bool progressive = false, bool arithmetic = false)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = write_jpeg_stream(f, w, h, components, samples, space, progressive, arithmetic);
    return fclose(f) == 0 && ok;
}

// The CRC-32 of PNG chunks (ISO 3309, reflected polynomial 0xEDB88320).
unsigned long chunk_crc(const unsigned char *bytes, size_t n)
{
    unsigned long crc = 0xffffffffUL;
    for (size_t i = 0; i < n; i++) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; k++)
            crc = crc & 1 ? (crc >> 1) ^ 0xedb88320UL : crc >> 1;
    }
    return crc ^ 0xffffffffUL;
}

void put_u32(unsigned char *p, unsigned long v)
{
    p[0] = (v >> 24) & 0xff;
    p[1] = (v >> 16) & 0xff;
    p[2] = (v >> 8) & 0xff;
    p[3] = v & 0xff;
}

} // namespace

bool write_png_header_only(const std::string &path, unsigned w, unsigned h, int bit_depth,
                           int colour_type)
{
    unsigned char file[33] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13,
                              'I', 'H', 'D', 'R'};
    put_u32(file + 16, w);
    put_u32(file + 20, h);
    file[24] = (unsigned char)bit_depth;
    file[25] = (unsigned char)colour_type;
    put_u32(file + 29, chunk_crc(file + 12, 17));
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(file, 1, sizeof file, f) == sizeof file;
    return fclose(f) == 0 && ok;
}

bool write_png(const std::string &path, const png_image &img)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = write_png_stream(f, img);
    return fclose(f) == 0 && ok;
}

png_file read_png(const std::string &path)
{
    png_file out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return out;
    unsigned char *rows = nullptr;
    size_t row_bytes = 0;
    out.ok = read_png_stream(f, &out, &rows, &row_bytes);
    fclose(f);
    if (out.ok)
        out.rows.assign(rows, rows + row_bytes * size_t(out.h));
    free(rows);
    return out;
}

bool write_jpeg_ycbcr(const std::string &path, int w, int h, const std::vector<unsigned char> &ycc)
{
    return write_jpeg(path, w, h, 3, ycc.data(), JCS_YCbCr);
}

bool write_jpeg_progressive(const std::string &path, int w, int h,
                            const std::vector<unsigned char> &ycc, bool arithmetic)
{
    return write_jpeg(path, w, h, 3, ycc.data(), JCS_YCbCr, true, arithmetic);
}

bool write_jpeg_grey(const std::string &path, int w, int h, unsigned char value)
{
    std::vector<unsigned char> samples(size_t(w) * h, value);
    return write_jpeg(path, w, h, 1, samples.data(), JCS_GRAYSCALE);
}

bool write_jpeg_cmyk(const std::string &path, int w, int h, bool ycck)
{
    std::vector<unsigned char> samples(size_t(w) * h * 4, 100);
    return write_jpeg(path, w, h, 4, samples.data(), ycck ? JCS_YCCK : JCS_CMYK);
}

} // namespace fixtures
