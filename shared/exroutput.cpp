// EXR writer over the library's C RGBA interface. The file is opened
// through the suite's write policy (outfile): a temporary file that replaces
// the target only when exroutput_commit completes it.
#include "exroutput.h"

#include "outfile.h"

#include <Imath/half.h>
#include <OpenEXR/ImfCRgbaFile.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

struct exroutput_t {
    ImfOutputFile *file;
    ImfRgba *half_row;
    int width;
    int height;
    int line;
    bool failed;
    std::string path;
    outfile *target;
};

namespace {

// The library's last error text, naming the user's path instead of the
// one the library opened.
std::string library_error(const exroutput_t *out)
{
    std::string text = ImfErrorMessage();
    const std::string opened = out->target ? outfile_data_path(out->target) : out->path;
    if (opened == out->path)
        return text;
    for (size_t at = text.find(opened); at != std::string::npos;
         at = text.find(opened, at + out->path.size()))
        text.replace(at, opened.size(), out->path);
    return text;
}

// The largest finite half.
const float half_max = 65504.0f;

// Rounds to single precision, stores negative and NaN values as 0 and
// values above the largest finite half (infinity included) as that half,
// then converts to half exactly as ImfFloatToHalf does, inline. So no
// output holds an infinity, and the brightest pixels of an image stay the
// brightest instead of turning black in the next program of a chain.
inline ImfHalf to_half(double v)
{
    float f = float(v);
    if (!(f >= 0))
        f = 0;
    else if (f > half_max)
        f = half_max;
    return imath_float_to_half(f);
}

// The library completes the file when it is closed but cannot report a write
// that fails then; reading the last row back shows whether the file is whole.
bool last_row_readable(exroutput_t *out)
{
    ImfInputFile *check = ImfOpenInputFile(outfile_data_path(out->target));
    if (!check)
        return false;
    int w = out->width, y = out->height - 1;
    uintptr_t base = uintptr_t(out->half_row) - uintptr_t(int64_t(y) * w) * sizeof(ImfRgba);
    ImfInputSetFrameBuffer(check, reinterpret_cast<ImfRgba *>(base), 1, w);
    int ok = ImfInputReadPixels(check, y, y);
    ImfCloseInputFile(check);
    return ok != 0;
}

void discard(exroutput_t *out)
{
    if (out->file)
        ImfCloseOutputFile(out->file);
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
    out->half_row = static_cast<ImfRgba *>(malloc(size_t(width > 0 ? width : 1) * sizeof(ImfRgba)));
    ImfHeader *header = ImfNewHeader();
    if (!header || !out->half_row) {
        fprintf(stderr, "exroutput: Cannot allocate memory.\n");
        if (header)
            ImfDeleteHeader(header);
        discard(out);
        return nullptr;
    }
    ImfHeaderSetDataWindow(header, 0, 0, width - 1, height - 1);
    ImfHeaderSetDisplayWindow(header, 0, 0, width - 1, height - 1);
    ImfHeaderSetCompression(header, IMF_PIZ_COMPRESSION);
    ImfHeaderSetLineOrder(header, IMF_INCREASING_Y);
    out->target = outfile_new(path, OUTFILE_SEEKABLE);
    if (!out->target) {
        if (errno == ESPIPE)
            fprintf(stderr, "exroutput: Cannot write %s: an EXR image needs a file it can seek in, "
                            "not a pipe, FIFO or terminal.\n", path);
        else
            fprintf(stderr, "exroutput: Cannot open image file \"%s\". %s.\n", path, strerror(errno));
        ImfDeleteHeader(header);
        discard(out);
        return nullptr;
    }
    out->file = ImfOpenOutputFile(outfile_data_path(out->target), header, IMF_WRITE_RGBA);
    ImfDeleteHeader(header);
    if (!out->file) {
        fprintf(stderr, "exroutput: %s\n", library_error(out).c_str());
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
    ImfRgba *h = out->half_row;
    for (int i = 0; i < w; i++) {
        h[i].r = to_half(pixels[i].r);
        h[i].g = to_half(pixels[i].g);
        h[i].b = to_half(pixels[i].b);
        h[i].a = to_half(pixels[i].a);
    }
    // Scanline `line` of the output lands in half_row; the base lies outside
    // the row, so it is formed in integer arithmetic.
    uintptr_t base = uintptr_t(h) - uintptr_t(int64_t(out->line) * w) * sizeof(ImfRgba);
    ImfOutputSetFrameBuffer(out->file, reinterpret_cast<ImfRgba *>(base), 1, w);
    if (!ImfOutputWritePixels(out->file, 1)) {
        fprintf(stderr, "exroutput: %s\n", library_error(out).c_str());
        out->failed = true;
    }
    out->line++;
}

int exroutput_commit(exroutput_t *out)
{
    if (out->line < out->height || out->failed)
        return 1;
    ImfOutputFile *file = out->file;
    out->file = nullptr;
    if (!ImfCloseOutputFile(file) ||
        (outfile_is_temporary(out->target) && !last_row_readable(out))) {
        fprintf(stderr, "exroutput: Cannot write %s: %s\n", out->path.c_str(),
                library_error(out).c_str());
        return 1;
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

void exroutput_delete(exroutput_t *out)
{
    if (out)
        discard(out);
}
