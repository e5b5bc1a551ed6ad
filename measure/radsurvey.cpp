// radsurvey: writes the histogram of v = 0.588 FL over an image, FL being the
// CIECAM02 luminance-level adaptation factor of the pixel's luminance times a
// scale, as 1024 lines "v count" of a text file.
// Usage: radsurvey input.exr histogram.txt max
#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "ciecam02.h"
#include "colour.h"
#include "prog.h"
#include "textoutput.h"
#include "heap.h"

static const char prog_name[] = "radsurvey";

static const int bins = 1024;

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
    double f = v * (bins - 1) + 0.5;
    if (!(f >= 0 && f < bins))
        return -1;
    return int(f);
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radsurvey", "Usage: radsurvey input.exr histogram.txt max\n", 3}, argc, argv, &first, &status))
        return status;
    exrinput_ptr in(exrinput_new(argv[first]));
    if (!in) {
        fprintf(stderr, "%s: Can't open file %s\n", prog_name, argv[first]);
        return 1;
    }
    int w = exrinput_get_width(in.get()), h = exrinput_get_height(in.get());
    fprintf(stderr, "%s: File is %dx%d\n", prog_name, w, h);

    // Counters and their sum are 64-bit: one bin may hold every pixel.
    int64_t hist[bins] = {0};
    textoutput_ptr out(textoutput_new(argv[first + 1]));
    if (!out) {
        fprintf(stderr, "%s: Can't open file %s\n", prog_name, argv[first + 1]);
        return 1;
    }
    double max = atof(argv[first + 2]);
    fprintf(stderr, "max is %f\n", max);

    double vmin = DBL_MAX, vmax = 0;
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
    FILE *text = textoutput_stream(out.get());
    for (int i = 0; i < bins; i++) {
        fprintf(text, "%f %lld\n", i / double(bins - 1), (long long)hist[i]);
        sum += hist[i];
    }
    fprintf(stderr, "sum is %lld, pixels %lld\n", (long long)sum, (long long)w * h);
    // A histogram of a damaged image is not written; radsurvey has no
    // "Done." line.
    return prog_finish(prog_name, out.get(), {exrinput_get_damage(in.get())}, [] {});
}
