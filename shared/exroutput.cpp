// EXR writer over the library's RGBA interface. The library writes through
// a stream of ours into the suite's write policy (outfile): a temporary
// file that replaces the target only when exroutput_commit completes it, or
// a device written through. Every byte goes through outfile_write_at, so a
// write the system refuses, even one the library makes while it closes the
// file (the offset table, which it cannot report), fails the commit.
#include "exroutput.h"

#include "outfile.h"

#include <Iex.h>
#include <Imath/half.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfIO.h>
#include <OpenEXR/ImfRgbaFile.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// The library's output stream over an outfile, buffered: the library
// writes a chunk as a few small pieces (its row, its size, its data), and
// seeks back once, at the end, to fill in the offset table.
class target_stream : public Imf::OStream {
public:
    target_stream(outfile *f, const char *path) : Imf::OStream(path), f_(f) { buf_.reserve(capacity); }

    void write(const char c[], int n) override
    {
        if (buf_.size() + size_t(n) > capacity)
            flush();
        if (size_t(n) > capacity) {
            put(c, size_t(n), pos_);
        } else {
            if (buf_.empty())
                buf_at_ = pos_;
            buf_.insert(buf_.end(), c, c + n);
        }
        pos_ += uint64_t(n);
    }

    uint64_t tellp() override { return pos_; }

    void seekp(uint64_t pos) override
    {
        flush();
        pos_ = pos;
    }

    // Writes out what is buffered; a refused write throws, with the
    // system's reason, and is remembered by the outfile for the commit.
    void flush()
    {
        if (buf_.empty())
            return;
        struct emptied {
            std::vector<char> &v;
            ~emptied() { v.clear(); } // written or refused, the bytes are done with
        } done{buf_};
        put(buf_.data(), buf_.size(), buf_at_);
    }

private:
    static const size_t capacity = size_t(1) << 16;

    void put(const char *data, size_t size, uint64_t at)
    {
        if (outfile_write_at(f_, data, size, at) != 0)
            IEX_NAMESPACE::throwErrnoExc("%T.", errno);
    }

    outfile *f_;
    std::vector<char> buf_;
    uint64_t buf_at_ = 0; // where the buffered bytes go
    uint64_t pos_ = 0;
};

} // namespace

struct exroutput_t {
    std::unique_ptr<Imf::RgbaOutputFile> file;
    Imf::Rgba *half_row = nullptr;
    int width = 0;
    int height = 0;
    int line = 0;
    bool failed = false;
    std::string path;
    outfile *target = nullptr;
    std::unique_ptr<target_stream> stream;
};

namespace {

// The largest finite half.
const float half_max = 65504.0f;

// Rounds to single precision, stores negative and NaN values as 0 and
// values above the largest finite half (infinity included) as that half,
// then converts to half exactly as ImfFloatToHalf does, inline. So no
// output holds an infinity, and the brightest pixels of an image stay the
// brightest instead of turning black in the next program of a chain.
inline uint16_t to_half(double v)
{
    float f = float(v);
    if (!(f >= 0))
        f = 0;
    else if (f > half_max)
        f = half_max;
    return imath_float_to_half(f);
}

// A row of pixels into halves, as to_half converts each channel.
void row_to_half(Imf::Rgba *h, const rgba_t *pixels, int w)
{
    for (int i = 0; i < w; i++) {
        h[i].r.setBits(to_half(pixels[i].r));
        h[i].g.setBits(to_half(pixels[i].g));
        h[i].b.setBits(to_half(pixels[i].b));
        h[i].a.setBits(to_half(pixels[i].a));
    }
}

// The same, a pixel's four channels at a time, with the processor's own
// conversions (F16C, in x86 processors since 2012): double to single
// rounds to nearest as the cast does, and single to half to nearest even
// as the library's conversion does (Imath itself uses this instruction when
// built for it). The comparison is false for NaN and keeps -0, as !(f >= 0)
// does. The conversion is most of what a light program adds to its reading
// and writing, and this takes a third of the instructions.
#if defined(__x86_64__)
__attribute__((target("avx,f16c"))) void row_to_half_f16c(Imf::Rgba *h, const rgba_t *pixels, int w)
{
    const __m128 zero = _mm_setzero_ps(), top = _mm_set1_ps(half_max);
    for (int i = 0; i < w; i++) {
        __m128 f = _mm256_cvtpd_ps(_mm256_loadu_pd(&pixels[i].r));
        f = _mm_and_ps(_mm_cmpge_ps(f, zero), f);
        f = _mm_min_ps(f, top);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(&h[i]),
                         _mm_cvtps_ph(f, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
    }
}

#endif

exroutput_conversion conversion = EXROUTPUT_FASTEST;

// Whether rows go through row_to_half_f16c.
bool use_f16c()
{
#if defined(__x86_64__)
    static const bool has = __builtin_cpu_supports("avx") && __builtin_cpu_supports("f16c");
    return has && conversion == EXROUTPUT_FASTEST;
#else
    return false;
#endif
}

static_assert(sizeof(rgba_t) == 4 * sizeof(double) && sizeof(Imf::Rgba) == 4 * sizeof(uint16_t),
              "a pixel is four channels, with no padding");

// Releases everything; the library's file first, since it writes through
// the stream as it closes.
void discard(exroutput_t *out)
{
    try {
        out->file.reset();
    } catch (...) {
    }
    out->stream.reset();
    outfile_delete(out->target);
    free(out->half_row);
    delete out;
}

} // namespace

exroutput_t *exroutput_new(const char *path, int width, int height)
{
    exroutput_t *out = new (std::nothrow) exroutput_t();
    if (!out) {
        fprintf(stderr, "exroutput: Cannot allocate memory.\n");
        return nullptr;
    }
    out->width = width;
    out->height = height;
    out->path = path;
    out->half_row = static_cast<Imf::Rgba *>(malloc(size_t(width > 0 ? width : 1) * sizeof(Imf::Rgba)));
    if (!out->half_row) {
        fprintf(stderr, "exroutput: Cannot allocate memory.\n");
        discard(out);
        return nullptr;
    }
    std::string why;
    out->target = outfile_new(path, OUTFILE_SEEKABLE, &why);
    if (!out->target) {
        if (errno == ESPIPE)
            fprintf(stderr, "exroutput: Cannot write %s: an EXR image needs a file it can seek in, "
                            "not a pipe, FIFO or terminal.\n", path);
        else
            fprintf(stderr, "exroutput: Cannot open image file \"%s\". %s.\n", path, why.c_str());
        discard(out);
        return nullptr;
    }
    try {
        // data and display window (0, 0)-(width - 1, height - 1), every
        // other attribute the library's default
        Imf::Header header(width, height);
        header.compression() = Imf::PIZ_COMPRESSION;
        header.lineOrder() = Imf::INCREASING_Y;
        out->stream.reset(new target_stream(out->target, path));
        out->file.reset(new Imf::RgbaOutputFile(*out->stream, header, Imf::WRITE_RGBA));
    } catch (const std::bad_alloc &) {
        fprintf(stderr, "exroutput: Cannot allocate memory.\n");
        discard(out);
        return nullptr;
    } catch (const std::exception &e) {
        fprintf(stderr, "exroutput: %s\n", e.what());
        discard(out);
        return nullptr;
    }
    return out;
}

void exroutput_write_scanline(exroutput_t *out, const rgba_t *pixels)
{
    // After a refused write the library's output is unusable (a further
    // write waits forever for the line buffer the failure left taken), and
    // the file will be discarded anyway: only count the row.
    if (out->failed) {
        out->line++;
        return;
    }
    int w = out->width;
    Imf::Rgba *h = out->half_row;
#if defined(__x86_64__)
    if (use_f16c())
        row_to_half_f16c(h, pixels, w);
    else
#endif
        row_to_half(h, pixels, w);
    // Scanline `line` of the output lands in half_row; the base lies outside
    // the row, so it is formed in integer arithmetic.
    uintptr_t base = uintptr_t(h) - uintptr_t(int64_t(out->line) * w) * sizeof(Imf::Rgba);
    try {
        out->file->setFrameBuffer(reinterpret_cast<Imf::Rgba *>(base), 1, size_t(w));
        out->file->writePixels(1);
    } catch (const std::exception &e) {
        fprintf(stderr, "exroutput: %s\n", e.what());
        out->failed = true;
    }
    out->line++;
}

int exroutput_commit(exroutput_t *out)
{
    if (out->line < out->height || out->failed)
        return 1;
    // Closing the library's file writes its offset table through the
    // stream; what the stream still buffers goes out next. A refusal of
    // either is the outfile's first write error, which fails its commit.
    try {
        out->file.reset();
        out->stream->flush();
    } catch (const std::exception &) {
    }
    if (outfile_commit(out->target) != 0) {
        fprintf(stderr, "exroutput: Cannot write %s: %s.\n", out->path.c_str(), strerror(errno));
        return 1;
    }
    return 0;
}

const char *exroutput_get_path(const exroutput_t *out)
{
    return out->path.c_str();
}

void exroutput_select(exroutput_conversion kind)
{
    conversion = kind;
}

void exroutput_delete(exroutput_t *out)
{
    if (out)
        discard(out);
}
