// radsurvey: writes the histogram of v = 0.588 FL over an image, FL being the
// CIECAM02 luminance-level adaptation factor of the pixel's luminance times a
// scale, as 1024 lines "v count" of a text file.
// Usage: radsurvey input.exr histogram.txt max
#include <cstdint>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ciecam02.h"
#include "colour.h"
#include "prog.h"
#include "tempfile.h"

static const char prog_name[] = "radsurvey";

static const int bins = 1024;

// The histogram file is written to a temporary file in the target's
// directory and renamed over the target only once complete and closed, so a
// failed run leaves no partial file and an earlier one survives it.
struct histogram_file {
    std::string tmp;
    FILE *fp = nullptr;
    ~histogram_file()
    {
        if (fp)
            fclose(fp);
        if (!tmp.empty())
            tempfile_discard(tmp);
    }
};

// Creates the temporary file for path; false when it cannot be made (or path
// is a directory).
static bool histogram_file_open(histogram_file *f, const char *path)
{
    f->tmp = tempfile_create(path);
    if (f->tmp.empty())
        return false;
    f->fp = fopen(f->tmp.c_str(), "w");
    return f->fp != nullptr;
}

// Closes the temporary file and moves it over path; false with errno set
// when a write, the close or the rename failed (the temporary file is then
// removed).
static bool histogram_file_commit(histogram_file *f, const char *path)
{
    FILE *fp = f->fp;
    std::string tmp = f->tmp;
    f->fp = nullptr;
    f->tmp.clear();
    return tempfile_close_commit(fp, tmp, path) == 0;
}

// v = 0.588 FL of the pixel's luminance times scale; not a number for a
// negative luminance (the cube root of a negative adapting luminance).
static double survey_value(const rgba_t &px, double scale)
{
    return 0.588 * ciecam02_fl(rgb_luminance(px.r, px.g, px.b) * scale);
}

// The nearest of the bins i / 1023, or -1 when v has none (not a number,
// negative, or above the last bin).
static int survey_bin(double v)
{
    double f = v * 1023 + 0.5;
    if (!(f >= 0 && f < bins))
        return -1;
    return int(f);
}

int main(int argc, char **argv)
{
    if (argc < 4) {
        fputs("Usage: radsurvey input.exr histogram.txt max\n", stderr);
        return 1;
    }
    exrinput_ptr in(exrinput_new(argv[1]));
    if (!in) {
        fprintf(stderr, "%s: Can't open file %s\n", prog_name, argv[1]);
        return 1;
    }
    int w = exrinput_get_width(in.get()), h = exrinput_get_height(in.get());
    fprintf(stderr, "%s: File is %dx%d\n", prog_name, w, h);

    // Counters and their sum are 64-bit: one bin may hold every pixel.
    int64_t hist[bins] = {0};
    histogram_file file;
    if (!histogram_file_open(&file, argv[2])) {
        fprintf(stderr, "%s: Can't open file %s\n", prog_name, argv[2]);
        return 1;
    }
    double max = atof(argv[3]);
    fprintf(stderr, "max is %f\n", max);

    double vmin = 1.7976931348623157e308, vmax = 0;
    for (int y = 0; y < h; y++) {
        const rgba_t *row = exrinput_get_scanline(in.get(), y);
        for (int x = 0; x < w; x++) {
            double v = survey_value(row[x], max);
            if (v < vmin)
                vmin = v;
            if (v > vmax)
                vmax = v;
            int bin = survey_bin(v);
            if (bin >= 0)
                hist[bin]++;
        }
    }
    fprintf(stderr, "min %f, max %f\n", vmin, vmax);

    int64_t sum = 0;
    errno = 0; // so that a refused write's reason is the one reported
    for (int i = 0; i < bins; i++) {
        fprintf(file.fp, "%f %lld\n", i / 1023.0, (long long)hist[i]);
        sum += hist[i];
    }
    fprintf(stderr, "sum is %lld, pixels %lld\n", (long long)sum, (long long)w * h);

    if (!histogram_file_commit(&file, argv[2])) {
        fprintf(stderr, "radsurvey: Can't write file %s: %s\n", argv[2], strerror(errno));
        return 1;
    }
    // Rows that could not be read were counted as black and reported: the
    // histogram is complete, but the run did not succeed.
    return exrinput_get_failures(in.get()) > 0 ? 1 : 0;
}
