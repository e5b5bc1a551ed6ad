// JPEG reader: the header is checked for sizes its data or memory could not
// bear, then libjpeg decodes row by row into one buffer of the whole image;
// its fatal errors return through setjmp/longjmp to jpeginput_new, which
// releases everything.
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
    int orientation = 1;  // the EXIF orientation, 1 when none
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

// The bytes a file holds, or -1 when it is not a regular file (a pipe, a
// FIFO, a device), whose size cannot be known before it is read.
long long file_size(FILE *file)
{
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<long long>(st.st_size);
}

// The 8 x 8 blocks of every component, each as large as its component is
// stored.
uint64_t block_count(const jpeg_decompress_struct *cinfo)
{
    uint64_t blocks = 0;
    for (int ci = 0; ci < cinfo->num_components; ci++)
        blocks += uint64_t(cinfo->comp_info[ci].width_in_blocks) *
                  cinfo->comp_info[ci].height_in_blocks;
    return blocks;
}

// What libjpeg holds of a file of several scans (progressive, or
// sequential with the components in separate scans) before it can put out
// a row: every block's 64 coefficients of 2 bytes, each component's blocks
// rounded up to whole MCUs. Single-scan files are decoded a row of MCUs at
// a time and need none.
uint64_t coefficient_bytes(jpeg_decompress_struct *cinfo)
{
    if (!jpeg_has_multiple_scans(cinfo))
        return 0;
    uint64_t bytes = 0;
    for (int ci = 0; ci < cinfo->num_components; ci++) {
        const jpeg_component_info &c = cinfo->comp_info[ci];
        uint64_t across = (uint64_t(c.width_in_blocks) + c.h_samp_factor - 1) / c.h_samp_factor;
        uint64_t down = (uint64_t(c.height_in_blocks) + c.v_samp_factor - 1) / c.v_samp_factor;
        bytes += across * c.h_samp_factor * down * c.v_samp_factor * DCTSIZE2 * sizeof(JCOEF);
    }
    return bytes;
}

// Whether the image may be decoded, checked before libjpeg or the reader
// reserves anything for it; prints the reason when not. Huffman coding
// spends at least a bit on every 8 x 8 block of every component (its DC
// difference; sequential or progressive alike), so a regular file must hold
// an eighth of a byte a block, and a header announcing far more pixels than
// its data could describe is refused. Arithmetic coding can code runs of
// blocks in less, and the size of a stream is not known: there the pixel
// buffer and the coefficients together are held to jpeginput_max_memory.
// The coefficients of a file of several scans are held to it in any case.
bool plausible_size(jpeg_decompress_struct *cinfo, FILE *file, const char *path)
{
    unsigned w = unsigned(cinfo->image_width), h = unsigned(cinfo->image_height);
    // More pixels than an int can count (libjpeg allows 65500 x 65500) would
    // have libjpeg and the pixel buffer reserve gigabytes first.
    if (uint64_t(w) * h > uint64_t(INT_MAX)) {
        fprintf(stderr, "jpeginput: %s: %ux%u image is too large.\n", path, w, h);
        return false;
    }
    const unsigned long long limit_mib = jpeginput_max_memory >> 20;
    long long size = file_size(file);
    bool bounded_by_size = size >= 0 && !cinfo->arith_code;
    if (bounded_by_size && block_count(cinfo) / 8 > uint64_t(size)) {
        fprintf(stderr, "jpeginput: %s: %ux%u image is larger than its file can hold.\n", path, w, h);
        return false;
    }
    uint64_t need = coefficient_bytes(cinfo) + (bounded_by_size ? 0 : uint64_t(w) * h * 3);
    if (need > jpeginput_max_memory) {
        if (size < 0)
            fprintf(stderr, "jpeginput: %s: %ux%u image is too large to read from a stream (more "
                            "than %llu MiB).\n",
                    path, w, h, limit_mib);
        else
            fprintf(stderr, "jpeginput: %s: %ux%u image needs more than %llu MiB to decode.\n",
                    path, w, h, limit_mib);
        return false;
    }
    return true;
}

// The orientation (TIFF tag 0x0112) in the first IFD of the first EXIF
// block (an APP1 marker starting "Exif\0\0", then a TIFF header in either
// byte order); 1 when there is none, or none that can be read within the
// marker, or its value is not one of 1 ... 8.
int exif_orientation(const jpeg_decompress_struct *cinfo)
{
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || m->data_length < 6 + 8 ||
            memcmp(m->data, "Exif\0\0", 6) != 0)
            continue;
        const JOCTET *tiff = m->data + 6;
        const size_t size = m->data_length - 6;
        bool little;
        if (memcmp(tiff, "II*\0", 4) == 0)
            little = true;
        else if (memcmp(tiff, "MM\0*", 4) == 0)
            little = false;
        else
            return 1;
        auto u16 = [&](size_t at) {
            return little ? unsigned(tiff[at]) | unsigned(tiff[at + 1]) << 8
                          : unsigned(tiff[at]) << 8 | unsigned(tiff[at + 1]);
        };
        auto u32 = [&](size_t at) {
            return little ? uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16
                          : uint32_t(u16(at)) << 16 | uint32_t(u16(at + 2));
        };
        const uint32_t ifd = u32(4);
        if (ifd > size || size - ifd < 2)
            return 1;
        const unsigned entries = u16(ifd);
        for (unsigned i = 0; i < entries; i++) {
            const size_t at = ifd + 2 + 12 * size_t(i);
            if (size - at < 12) // at <= size holds from the check of ifd on
                return 1;
            const unsigned type = u16(at + 2);
            if (u16(at) != 0x0112 || u32(at + 4) != 1 || (type != 3 && type != 4))
                continue;
            const uint32_t v = type == 3 ? u16(at + 8) : u32(at + 8);
            return v >= 1 && v <= 8 ? int(v) : 1;
        }
        return 1;
    }
    return 1;
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
// destroyed, and after a refusal for the colour space (*colour_space then
// tells which).
bool decode(jpeginput_t *in, FILE *file, const char *path, int ycbcr, int *colour_space);

// The compressed data, read from the file in blocks. Where the data ends,
// libjpeg is given a fake end-of-image marker (with its warning), as its
// own stdio source does; unlike that source, the file is not asked again
// once it has ended, so a marker that claims to run far past the end is
// skipped in a few calls rather than one read per two bytes.
struct file_source {
    jpeg_source_mgr pub;
    FILE *file;
    bool ended;
    JOCTET buffer[4096];
};

void source_init(j_decompress_ptr) {}

boolean source_fill(j_decompress_ptr cinfo)
{
    file_source *src = reinterpret_cast<file_source *>(cinfo->src);
    size_t n = src->ended ? 0 : fread(src->buffer, 1, sizeof src->buffer, src->file);
    if (n == 0) {
        src->ended = true;
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = n;
    return TRUE;
}

void source_skip(j_decompress_ptr cinfo, long count)
{
    file_source *src = reinterpret_cast<file_source *>(cinfo->src);
    while (count > long(src->pub.bytes_in_buffer)) {
        count -= long(src->pub.bytes_in_buffer);
        if (src->ended) {
            // nothing more to skip over: the fake marker stays
            src->pub.next_input_byte = src->buffer;
            src->pub.bytes_in_buffer = 2;
            return;
        }
        source_fill(cinfo);
    }
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= size_t(count);
}

void source_term(j_decompress_ptr) {}

// Reads file through a file_source of libjpeg's permanent pool.
void use_file_source(jpeg_decompress_struct *cinfo, FILE *file)
{
    file_source *src = static_cast<file_source *>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(file_source)));
    src->pub.init_source = source_init;
    src->pub.fill_input_buffer = source_fill;
    src->pub.skip_input_data = source_skip;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = source_term;
    src->pub.bytes_in_buffer = 0;
    src->pub.next_input_byte = nullptr;
    src->file = file;
    src->ended = false;
    cinfo->src = &src->pub;
}

bool decode(jpeginput_t *in, FILE *file, const char *path, int ycbcr, int *colour_space)
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
    use_file_source(&cinfo, file);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xffff); // EXIF, for its orientation
    jpeg_read_header(&cinfo, TRUE);
    *colour_space = int(cinfo.jpeg_color_space);
    // A greyscale file is decoded as grey and handed out as Y with neutral
    // chroma (or as R = G = B without the YCbCr request); libjpeg has no
    // conversion from grey to YCbCr.
    bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    if (ycbcr)
        cinfo.out_color_space = grey ? JCS_GRAYSCALE : JCS_YCbCr;
    else if (grey)
        cinfo.out_color_space = JCS_RGB;
    fprintf(stderr, "jpeginput: Colour space %d (YCbCr %d).\n", int(cinfo.jpeg_color_space),
            int(JCS_YCbCr));
    fprintf(stderr, "jpeginput: 601 sampling %d.\n", int(cinfo.CCIR601_sampling));
    if (ycbcr && (cinfo.jpeg_color_space == JCS_RGB || cinfo.jpeg_color_space == JCS_CMYK ||
                  cinfo.jpeg_color_space == JCS_YCCK))
        longjmp(err.jump, 1);
    if (!plausible_size(&cinfo, file, path))
        longjmp(err.jump, 1);
    in->orientation = exif_orientation(&cinfo);
    jpeg_start_decompress(&cinfo);
    // Rows are handed out as 3 bytes a pixel; a four-component output
    // (possible without the YCbCr request) would not fit them.
    int components = cinfo.output_components;
    if (components != 3 && !(grey && components == 1)) {
        fprintf(stderr, "jpeginput: %s has %d components, not 3.\n", path, components);
        longjmp(err.jump, 1);
    }
    JDIMENSION stride = cinfo.output_width * JDIMENSION(components);
    JSAMPARRAY buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                   JPOOL_IMAGE, stride, 1);
    in->width = int(cinfo.image_width);
    in->height = int(cinfo.image_height);
    // At most 2^31 pixels of 3 bytes: past 32 bits, not past size_t.
    size_t row_bytes = size_t(in->width) * 3;
    in->pixels = static_cast<unsigned char *>(malloc(row_bytes * size_t(in->height)));
    heap_advise_huge(in->pixels, row_bytes * size_t(in->height));
    if (!in->pixels)
        longjmp(err.jump, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        jpeg_read_scanlines(&cinfo, buffer, 1);
        unsigned char *dst = in->pixels + size_t(cinfo.output_scanline - 1) * row_bytes;
        if (components == 3) {
            memcpy(dst, buffer[0], stride);
            continue;
        }
        for (JDIMENSION x = 0; x < stride; x++, dst += 3) {
            dst[0] = buffer[0][x];
            dst[1] = dst[2] = 128;
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    record_damage(in, err.damaged, err.first);
    return true;
}

} // namespace

jpeginput_t *jpeginput_new(const char *path, int ycbcr, int *colour_space)
{
    int space = 0;
    if (!colour_space)
        colour_space = &space;
    *colour_space = 0;
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
    bool ok = decode(in, file, path, ycbcr, colour_space);
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

int jpeginput_get_orientation(const jpeginput_t *in)
{
    return in->orientation;
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
