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
};

// Runs build/bin/<program> with args and no standard input.
run_result run(const std::string &program, const std::vector<std::string> &args);

// Runs command[0] (a path) with the rest as its arguments, likewise.
run_result run_command(const std::vector<std::string> &command);

// Full path of a program in the build.
std::string program_path(const std::string &program);

// The progress text a pass prints: "<prog>: <label> <y>\r" for every
// `every`-th row of h rows.
std::string progress(const std::string &prog, const std::string &label, int h, int every);

// Whether a file exists.
bool exists(const std::string &path);

// Whole contents of a file.
std::string slurp(const std::string &path);

// Checks every pixel of got against want (same size) within tol per channel;
// reports the first few differences.
void expect_image_near(const image &got, const image &want, double tol);

} // namespace testkit

#endif
