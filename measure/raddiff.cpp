// raddiff: reports the smallest, mean and largest absolute difference of
// luminance, red, green and blue between two images of the same size.
// Usage: raddiff input1.exr input2.exr
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "colour.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "raddiff";

// Running extremes and sum of one kind of difference.
struct diff_stat {
    double min = DBL_MAX;
    double max = -DBL_MAX;
    double sum = 0;
};

// Adds d; a difference that is not a number enters the sum only.
static void diff_add(diff_stat *st, double d)
{
    st->sum += d;
    if (d > st->max)
        st->max = d;
    if (d < st->min)
        st->min = d;
}

// The four differences of one pair of pixels: luminance, R, G, B.
static void diff_pixel(diff_stat st[4], const rgba_t &a, const rgba_t &b)
{
    diff_add(&st[0], std::fabs(rgb_luminance(a.r, a.g, a.b) - rgb_luminance(b.r, b.g, b.b)));
    diff_add(&st[1], std::fabs(a.r - b.r));
    diff_add(&st[2], std::fabs(a.g - b.g));
    diff_add(&st[3], std::fabs(a.b - b.b));
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    int first, status;
    if (!prog_parse({prog_name, "raddiff", "Usage: raddiff input1.exr input2.exr\n", 2}, argc, argv, &first, &status))
        return status;
    exrinput_ptr in = prog_open_input(prog_name, argv[first]);
    if (!in)
        return 1;
    exrinput_ptr other = prog_open_companion(prog_name, argv[first + 1], in.get());
    if (!other)
        return 1;
    int w = exrinput_get_width(in.get()), h = exrinput_get_height(in.get());
    prog_size_line(prog_name, argv[first + 1], w, h);

    diff_stat st[4];
    for (int y = 0; y < h; y++) {
        const rgba_t *a = exrinput_get_scanline(in.get(), y);
        const rgba_t *b = exrinput_get_scanline(other.get(), y);
        prog_progress(prog_name, "Comparing scanline", y, 10);
        for (int x = 0; x < w; x++)
            diff_pixel(st, a[x], b[x]);
    }
    // The report is made only from images read whole.
    return prog_finish(prog_name, nullptr, {exrinput_get_damage(in.get()), exrinput_get_damage(other.get())}, [&] {
        fprintf(stderr, "\nraddiff: Done.\n\n");
        double n = double(w) * h;
        printf("  Luminance min is %7.3f, avg %7.3f, max %7.3f\n", st[0].min, st[0].sum / n, st[0].max);
        printf("  Red       min is %7.3f, avg %7.3f, max %7.3f\n", st[1].min, st[1].sum / n, st[1].max);
        printf("  Green     min is %7.3f, avg %7.3f, max %7.3f\n", st[2].min, st[2].sum / n, st[2].max);
        printf("  Blue      min is %7.3f, avg %7.3f, max %7.3f\n\n", st[3].min, st[3].sum / n,
               st[3].max);
    });
}
