// radsoften: blurs an image with a Gaussian whose size is a fraction of the
// image width, making the companion image the local operators adapt to.
// Usage: radsoften input.exr output.exr scalefactor
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gaussian.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radsoften";

// The blur size as the size line shows it: truncated toward zero, held to
// int's range (a size that is not a number shows as 0).
static int size_pixels(double size)
{
    if (std::isnan(size))
        return 0;
    if (size >= double(INT_MAX))
        return INT_MAX;
    if (size <= double(INT_MIN))
        return INT_MIN;
    return int(size);
}

// Running sums of the channel means: pixels whose R, G or B is not a finite
// number (NaN or an infinity, from a damaged or synthetic file) are left out
// whole, so that they cannot turn every mean, and with it the border of the
// whole blurred image, into NaN.
struct mean_sums {
    double sum[4] = {0, 0, 0, 0};
    size_t count = 0;
};

static void add_row_to_means(mean_sums &m, const rgba_t *row, int w)
{
    for (int x = 0; x < w; x++) {
        const rgba_t &p = row[x];
        if (!rgba_finite(p))
            continue;
        m.sum[0] += p.r;
        m.sum[1] += p.g;
        m.sum[2] += p.b;
        m.sum[3] += p.a;
        m.count++;
    }
}

// The means of the pixels counted; all 0 when none was.
static rgba_t means_of(const mean_sums &m)
{
    if (m.count == 0)
        return {0, 0, 0, 0};
    double n = double(m.count);
    return {m.sum[0] / n, m.sum[1] / n, m.sum[2] / n, m.sum[3] / n};
}

// The blur's progress, as "gaussian:" lines: a heading for each pass, then
// rows 0, 10, 20 ...
static void print_blur_progress(void *, int pass, int y)
{
    if (y == 0 && pass == 1)
        fprintf(stderr, "gaussian: Pass 1 (horizontal).\n");
    else if (y == 0)
        fprintf(stderr, "\ngaussian: Pass 2 (vertical).\n");
    if (y % 10 == 0)
        fprintf(stderr, "gaussian: %d\r", y);
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "radsoften", "Usage: radsoften input.exr output.exr scalefactor\n", 3}, argc, argv, &first, &status))
        return status;
    exrinput_ptr in = prog_open_input(prog_name, argv[first]);
    if (!in)
        return 1;
    int w = exrinput_get_width(in.get()), h = exrinput_get_height(in.get());
    // One image: the input is read into it and blurred in place.
    gaussian_image_ptr image = gaussian_image_new(w, h);
    if (!image) {
        fprintf(stderr, "%s: Cannot allocate memory.\n", prog_name);
        return 1;
    }
    exroutput_ptr out = prog_create_output(prog_name, argv[first + 1], in.get());
    if (!out)
        return 1;
    double scalefactor = atof(argv[first + 2]);
    double size = w * scalefactor;
    fprintf(stderr, "%s: Gaussian size %.3f of image width == %d pixels.\n", prog_name,
            scalefactor, size_pixels(size));

    mean_sums sums;
    prog_scan(prog_name, in.get(), "Reading input", 10, [&](const rgba_t *row, int y) {
        memcpy(image.get() + size_t(y) * size_t(w), row, size_t(w) * sizeof(rgba_t));
        add_row_to_means(sums, row, w);
    });
    const rgba_t mean = means_of(sums);
    fprintf(stderr, "\n%s: Done, starting blur.\n", prog_name);
    // The input is closed before the blur; its damage, if any, is kept for
    // the finish.
    input_damage damage = *exrinput_get_damage(in.get());
    in.reset();

    if (gaussian_blur(image.get(), image.get(), w, h, size, mean, print_blur_progress) != 0) {
        fprintf(stderr, "%s: Cannot allocate memory.\n", prog_name);
        return 1;
    }
    fprintf(stderr, "\ngaussian: Done.\n");

    for (int y = 0; y < h; y++) {
        if (y % 10 == 0)
            fprintf(stderr, "%s: Writing scanline %d.\r", prog_name, y);
        exroutput_write_scanline(out.get(), image.get() + size_t(y) * size_t(w));
    }
    return prog_finish(prog_name, out.get(), {&damage});
}
