// radsoften: blurs an image with a Gaussian whose size is a fraction of the
// image width, making the companion image the local operators adapt to.
// Usage: radsoften input.exr output.exr scalefactor
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "gaussian.h"
#include "prog.h"

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

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "Usage: radsoften input.exr output.exr scalefactor\n");
        return 1;
    }
    exrinput_ptr in = prog_open_input(prog_name, argv[1]);
    if (!in)
        return 1;
    int w = exrinput_get_width(in.get()), h = exrinput_get_height(in.get());
    gaussian_image_ptr image = gaussian_image_new(w, h);
    gaussian_image_ptr blurred = image ? gaussian_image_new(w, h) : nullptr;
    if (!blurred) {
        fprintf(stderr, "%s: Cannot allocate memory.\n", prog_name);
        return 1;
    }
    exroutput_ptr out = prog_create_output(prog_name, argv[2], in.get());
    if (!out)
        return 1;
    double scalefactor = atof(argv[3]);
    double size = w * scalefactor;
    fprintf(stderr, "%s: Gaussian size %.3f of image width == %d pixels.\n", prog_name,
            scalefactor, size_pixels(size));

    for (double &m : gaussian_mean)
        m = 0;
    prog_scan(prog_name, in.get(), "Reading input", 10, [&](const rgba_t *row, int y) {
        rgba_t *copy = image.get() + size_t(y) * size_t(w);
        for (int x = 0; x < w; x++) {
            copy[x] = row[x];
            gaussian_mean[0] += row[x].r;
            gaussian_mean[1] += row[x].g;
            gaussian_mean[2] += row[x].b;
            gaussian_mean[3] += row[x].a;
        }
    });
    for (double &m : gaussian_mean)
        m /= double(size_t(w) * size_t(h));
    fprintf(stderr, "\n%s: Done, starting blur.\n", prog_name);
    // The input is closed before the blur; its damage, if any, is kept for
    // the finish.
    input_damage damage = *exrinput_get_damage(in.get());
    in.reset();

    if (gaussian_blur(blurred.get(), image.get(), w, h, size) != 0) {
        fprintf(stderr, "%s: Cannot allocate memory.\n", prog_name);
        return 1;
    }

    for (int y = 0; y < h; y++) {
        if (y % 10 == 0)
            fprintf(stderr, "%s: Writing scanline %d.\r", prog_name, y);
        exroutput_write_scanline(out.get(), blurred.get() + size_t(y) * size_t(w));
    }
    return prog_finish(prog_name, out.get(), {&damage});
}
