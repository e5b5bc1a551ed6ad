// JPEG reader: libjpeg decodes row by row into one buffer of the whole
// image; its fatal errors return through setjmp/longjmp to jpeginput_new,
// which releases everything.
#include "jpeginput.h"

#include "heap.h"

#include <csetjmp>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <sys/stat.h>

#include <jpeglib.h>
#include <jerror.h>

struct jpeginput_t {
    int width;
    int height;
    unsigned char *pixels;
    input_damage damage; // libjpeg's warnings about damaged image data
};

namespace {

// libjpeg's standard error manager with the return point of jpeginput_new.
struct error_manager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    void (*std_emit_message)(j_common_ptr, int);
    int damaged;                       // warnings about damaged data
    char first[JMSG_LENGTH_MAX];       // the first of them, in libjpeg's words
};

// Prints libjpeg's error text, then returns to jpeginput_new.
[[noreturn]] void jpeginput_error_exit(j_common_ptr cinfo)
{
    (*cinfo->err->output_message)(cinfo);
    longjmp(reinterpret_cast<error_manager *>(cinfo->err)->jump, 1);
}

// Whether a libjpeg warning says that image data is missing or corrupt;
// libjpeg then goes on with grey filler (zero coefficients) for it.
bool is_damage(int code)
{
    switch (code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_TOO_MUCH_DATA:
        return true;
    default:
        return false;
    }
}

// Warnings about damaged data are counted and the first one's text kept,
// so that a damaged file is decoded whole but does not pass for a sound
// one; the finish step prints it once. Other messages take libjpeg's
// standard path.
void emit_message(j_common_ptr cinfo, int level)
{
    error_manager *err = reinterpret_cast<error_manager *>(cinfo->err);
    if (level < 0 && is_damage(cinfo->err->msg_code)) {
        if (err->damaged++ == 0)
            (*cinfo->err->format_message)(cinfo, err->first);
        cinfo->err->num_warnings++;
        return;
    }
    err->std_emit_message(cinfo, level);
}

// A sequential Huffman-coded scan spends at least a bit on every 8 x 8
// block of every component (its DC difference; its end-of-block code is
// another). Whether the file holds that many bytes, so that a header
// announcing far more pixels than the data could describe is refused
// before gigabytes are reserved for them. Progressive and arithmetic-coded
// files can code runs of blocks in less and are not bounded this way.
bool data_can_hold(const jpeg_decompress_struct *cinfo, FILE *file)
{
    struct stat st;
    if (cinfo->progressive_mode || cinfo->arith_code || fstat(fileno(file), &st) != 0 ||
        !S_ISREG(st.st_mode))
        return true;
    uint64_t blocks = 0;
    for (int ci = 0; ci < cinfo->num_components; ci++)
        blocks += uint64_t(cinfo->comp_info[ci].width_in_blocks) *
                  cinfo->comp_info[ci].height_in_blocks;
    return blocks / 8 <= uint64_t(st.st_size);
}

// Keeps what libjpeg said of damaged data: the first warning's text and
// how many more there were.
void record_damage(jpeginput_t *in, int warnings, const char *first)
{
    in->damage.height = in->height;
    if (warnings == 1)
        in->damage.reason = first;
    else if (warnings > 1)
        in->damage.reason = std::string(first) + " (and " + std::to_string(warnings - 1) +
                            " more such warnings)";
}

// Decodes the file into in->pixels. Plain C style: libjpeg's errors
// longjmp back to the setjmp here, so nothing in this frame may need a
// destructor. Returns false after such an error, with libjpeg's structure
// destroyed.
bool decode(jpeginput_t *in, FILE *file, const char *path, int ycbcr)
{
    jpeg_decompress_struct cinfo;
    error_manager err;
    memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jpeginput_error_exit;
    err.std_emit_message = err.pub.emit_message;
    err.pub.emit_message = emit_message;
    err.damaged = 0;
    err.first[0] = '\0';
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    if (ycbcr)
        cinfo.out_color_space = JCS_YCbCr;
    fprintf(stderr, "jpeginput: Colour space %d (YCbCr %d).\n", int(cinfo.jpeg_color_space),
            int(JCS_YCbCr));
    fprintf(stderr, "jpeginput: 601 sampling %d.\n", int(cinfo.CCIR601_sampling));
    // More pixels than an int can count (libjpeg allows 65500 x 65500) would
    // have libjpeg and the pixel buffer reserve gigabytes first.
    if (uint64_t(cinfo.image_width) * cinfo.image_height > uint64_t(INT_MAX)) {
        fprintf(stderr, "jpeginput: %s: %ux%u image is too large.\n", path,
                unsigned(cinfo.image_width), unsigned(cinfo.image_height));
        longjmp(err.jump, 1);
    }
    if (!data_can_hold(&cinfo, file)) {
        fprintf(stderr, "jpeginput: %s: %ux%u image is larger than its file can hold.\n", path,
                unsigned(cinfo.image_width), unsigned(cinfo.image_height));
        longjmp(err.jump, 1);
    }
    jpeg_start_decompress(&cinfo);
    // Rows are handed out as 3 bytes a pixel; a grey or four-component
    // output (possible without the YCbCr request) would not fit them.
    if (cinfo.output_components != 3) {
        fprintf(stderr, "jpeginput: %s has %d components, not 3.\n", path,
                int(cinfo.output_components));
        longjmp(err.jump, 1);
    }
    JDIMENSION stride = cinfo.output_width * JDIMENSION(cinfo.output_components);
    JSAMPARRAY buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                   JPOOL_IMAGE, stride, 1);
    in->width = int(cinfo.image_width);
    in->height = int(cinfo.image_height);
    // At most 65500 x 65500 pixels of 3 bytes: past 32 bits, not past size_t.
    size_t row_bytes = size_t(in->width) * 3;
    in->pixels = static_cast<unsigned char *>(malloc(row_bytes * size_t(in->height)));
    heap_advise_huge(in->pixels, row_bytes * size_t(in->height));
    if (!in->pixels)
        longjmp(err.jump, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        jpeg_read_scanlines(&cinfo, buffer, 1);
        memcpy(in->pixels + size_t(cinfo.output_scanline - 1) * row_bytes, buffer[0], stride);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    record_damage(in, err.damaged, err.first);
    return true;
}

} // namespace

jpeginput_t *jpeginput_new(const char *path, int ycbcr)
{
    jpeginput_t *in = new (std::nothrow) jpeginput_t();
    if (!in)
        return nullptr;
    in->damage.module = "jpeginput";
    in->damage.path = path;
    FILE *file = fopen(path, "rb");
    if (!file) {
        fprintf(stderr, "jpeginput: Cannot open %s: %s\n", path, strerror(errno));
        delete in;
        return nullptr;
    }
    bool ok = decode(in, file, path, ycbcr);
    fclose(file);
    if (!ok) {
        jpeginput_delete(in);
        return nullptr;
    }
    return in;
}

int jpeginput_get_width(const jpeginput_t *in)
{
    return in->width;
}

int jpeginput_get_height(const jpeginput_t *in)
{
    return in->height;
}

const input_damage *jpeginput_get_damage(const jpeginput_t *in)
{
    return &in->damage;
}

const unsigned char *jpeginput_get_scanline(const jpeginput_t *in, int y)
{
    return in->pixels + size_t(y) * size_t(in->width) * 3;
}

void jpeginput_delete(jpeginput_t *in)
{
    if (!in)
        return;
    free(in->pixels);
    delete in;
}
