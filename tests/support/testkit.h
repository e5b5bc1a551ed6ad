// Test kit for the suite: writes fixture EXR images with the library's own
// C++ interface (independent of the suite's writer), reads results back with
// their header, and runs a program capturing its status, stdout and stderr.
#ifndef TESTKIT_H
#define TESTKIT_H

#include <string>
#include <vector>

#include "rgba.h"

namespace testkit {

// A scratch directory removed with everything in it when the object dies.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    // path of a file named `name` inside the directory
    std::string operator/(const std::string &name) const;
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

struct image {
    int w = 0, h = 0;
    std::vector<rgba_t> px; // row-major, halves widened to double
    const rgba_t &at(int x, int y) const { return px[size_t(y) * w + x]; }
    // header facts, filled by read_exr
    int x_min = 0, y_min = 0;
    int display_x_min = 0, display_y_min = 0, display_x_max = -1, display_y_max = -1;
    int compression = -1, line_order = -1;
    std::string channels; // channel names in the file, sorted, e.g. "ABGR"
    bool half_channels = false;
};

// An image of w x h pixels all equal to p.
image uniform(int w, int h, rgba_t p);
// An image from a list of pixels, row-major.
image pixels(int w, int h, std::vector<rgba_t> px);

struct write_options {
    int x_min = 0, y_min = 0; // data window origin
    bool rgb_only = false;    // store R, G, B without alpha
    bool float_channels = false;
};

// Writes img to path (ZIP compression, halves unless float_channels).
void write_exr(const std::string &path, const image &img, write_options opt = {});

// One part of an EXR file of any layout, written by the library itself: the
// channels with their names, sample types (0 UINT, 1 HALF, 2 FLOAT) and
// values (row-major over the data window), a compression (the library's
// numbering, 3 is ZIP), scanlines or tiles, a line order.
struct exr_channel {
    std::string name;
    std::vector<float> values;
    int type = 1;
};
struct exr_part {
    std::string name; // for multi-part files
    int w = 0, h = 0, x_min = 0, y_min = 0;
    std::vector<exr_channel> channels;
    int compression = 3;
    int tile = 0;        // tile side, or 0 for scanlines
    int line_order = 0;  // 0 increasing y, 1 decreasing
    std::vector<std::pair<std::string, std::string>> strings; // string attributes
};

// Writes the parts to path: a single-part file for one part, else a
// multi-part file.
void write_exr_parts(const std::string &path, const std::vector<exr_part> &parts);

// The channels R, G, B, A of img as an exr_part, each name prefixed with
// prefix (a layer "beauty." or "" for the top level).
exr_part rgba_part(const image &img, const std::string &prefix = "", int compression = 3);

// Writes img through the library's RGBA interface with the given channels
// (Imf::RgbaChannels: 0x1f for luminance and chroma with alpha, 0x10 Y
// alone, 0xf RGBA) and compression: the luminance-chroma layouts.
void write_exr_rgba(const std::string &path, const image &img, int channels, int compression);

// Reads path whole; fails the current test (and returns an empty image) when
// the file cannot be read.
image read_exr(const std::string &path);

// The w x h part of img whose top left pixel is (x, y).
image crop(const image &img, int x, int y, int w, int h);

// The bundled photograph, data/forest.exr (1024 x 512; its sun is around
// pixel (613, 200)).
std::string photograph_path();

// The value a double takes once stored as a half and read back.
double half_round(double v);

// What the suite's writer stores for v, as read back: 0 for a negative or
// NaN value (in single precision), 65504, the largest finite half, for
// anything above it (infinity included), otherwise half_round(v).
double written(double v);

struct run_result {
    int status = -1; // exit status, or 128 + signal
    std::string out, err;
    long max_rss_kb = 0; // the most memory the process held (run_measured)
    double seconds = 0;  // wall-clock time of the run
};

// Runs build/bin/<program> with args and no standard input.
run_result run(const std::string &program, const std::vector<std::string> &args);

// The memory a program may take above what it needs itself: the runtime's
// (the sanitizers' shadow memory and allocator when built with them).
#ifdef SUITE_SANITIZED
constexpr long runtime_kb = 40 * 1024;
#else
constexpr long runtime_kb = 0;
#endif

// run, under /usr/bin/time, so that max_rss_kb is the program's own peak
// (a process spawned from the test's holds the test's memory until it
// starts the program, and the kernel counts that).
run_result run_measured(const std::string &program, const std::vector<std::string> &args);

// Runs command[0] (a path) with the rest as its arguments, likewise.
run_result run_command(const std::vector<std::string> &command);

// Full path of a program in the build.
std::string program_path(const std::string &program);

// The progress text a pass prints: "<prog>: <label> <y>\r" for every
// `every`-th row of h rows.
std::string progress(const std::string &prog, const std::string &label, int h, int every);

// printf into a string, as the programs format their messages.
__attribute__((format(printf, 1, 2))) std::string format(const char *fmt, ...);

// Writes bytes to path (a fixture of any format).
void write_file(const std::string &path, const std::string &bytes);

// The names of the entries of dir, sorted: to see that no temporary file is
// left behind.
std::vector<std::string> names_in(const std::string &dir);

// Whether a file exists.
bool exists(const std::string &path);

// Whole contents of a file.
std::string slurp(const std::string &path);

// The spacing of half floats at v: 2^-10 of v's power of two, 2^-24 below
// the smallest normal half.
double half_ulp(double v);

// Whether got lies within ulps half-float steps of want, steps taken at
// scale (want itself unless given); both NaN counts.
bool within_ulps(double got, double want, double ulps);
bool within_ulps(double got, double want, double ulps, double scale);

// Checks every pixel of got against want (same size), each channel within
// ulps half-float steps of the wanted value; reports the first few
// differences.
void expect_image_near(const image &got, const image &want, double ulps);

} // namespace testkit

#endif
