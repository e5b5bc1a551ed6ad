// blurpeak: the multiply-add rate radsoften's blur reaches against the
// peak of this core. The peak is a loop of separate multiplies and adds on
// double registers as wide as the blur's kernel uses (eight lanes with
// AVX-512F, four with AVX2, else two; the blur's own arithmetic,
// -ffp-contract=off) with nothing loaded or stored; the blur is
// gaussian_blur on the image, in place. The peak is measured before and
// after the blur, and the better one kept. A third argument of 2, 4 or 8
// chooses the kernel (and the peak's width) instead of the widest the
// processor has.
// Usage: blurpeak input.exr [scalefactor [lanes]]
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "gaussian.h"
#include "prog.h"
#include "heap.h"

namespace {

typedef double double2 __attribute__((vector_size(16)));

// Seconds of this thread's processor time: on a core shared with other
// work, the time the thread waits for it would count against whichever of
// the peak and the blur it fell on.
double cpu_seconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// Multiply-adds per second of twelve independent chains of
// acc = acc + t * v, each as many lanes as V has. The empty asm makes t
// opaque on every iteration, so the products cannot be hoisted out of the
// loop.
template <class V>
__attribute__((always_inline)) inline double peak_loop()
{
    constexpr int chains = 12, lanes = sizeof(V) / sizeof(double);
    const long iterations = 50000000;
    V acc[chains], v[chains];
    for (int i = 0; i < chains; i++)
        for (int l = 0; l < lanes; l++) {
            acc[i][l] = 0.0;
            v[i][l] = 1e-9 * (i + 1) * (l + 1);
        }
    V t;
    for (int l = 0; l < lanes; l++)
        t[l] = 0.5 / (l + 1);
    double start = cpu_seconds();
    for (long n = 0; n < iterations; n++) {
        asm volatile("" : "+x"(t));
#pragma GCC unroll 12
        for (int i = 0; i < chains; i++)
            acc[i] += t * v[i];
    }
    double elapsed = cpu_seconds() - start;
    double check = 0;
    for (int i = 0; i < chains; i++)
        for (int l = 0; l < lanes; l++)
            check += acc[i][l];
    if (check < 0)
        printf("%g\n", check);
    return double(iterations) * chains * lanes / elapsed;
}

typedef double double4 __attribute__((vector_size(32)));

__attribute__((target("avx2"))) double peak_rate_wide()
{
    return peak_loop<double4>();
}

typedef double double8 __attribute__((vector_size(64)));

__attribute__((target("avx512f"))) double peak_rate_widest()
{
    return peak_loop<double8>();
}

double peak_rate(int lanes)
{
    return lanes == 8 ? peak_rate_widest() : lanes == 4 ? peak_rate_wide() : peak_loop<double2>();
}

} // namespace

int main(int argc, char **argv)
{
    heap_keep_freed();
    if (argc < 2) {
        fprintf(stderr, "Usage: blurpeak input.exr [scalefactor [lanes]]\n");
        return 1;
    }
    double scale = argc > 2 ? atof(argv[2]) : 0.05;
    int lanes = argc > 3 ? atoi(argv[3]) : gaussian_lanes();
    if ((lanes != 2 && lanes != 4 && lanes != 8) || lanes > gaussian_lanes()) {
        fprintf(stderr, "blurpeak: No %d-lane kernel on this processor.\n", lanes);
        return 1;
    }
    exrinput_ptr in(exrinput_new(argv[1]));
    if (!in)
        return 1;
    int w = exrinput_get_width(in.get()), h = exrinput_get_height(in.get());
    // Blurred in place, as radsoften does: a second image would have its
    // pages cleared by the system on first touch, inside the blur's time.
    gaussian_image_ptr image = gaussian_image_new(w, h);
    if (!image) {
        fprintf(stderr, "blurpeak: Cannot allocate memory.\n");
        return 1;
    }
    rgba_t mean = {0, 0, 0, 0};
    for (int y = 0; y < h; y++) {
        const rgba_t *row = exrinput_get_scanline(in.get(), y);
        for (int x = 0; x < w; x++) {
            image[size_t(y) * w + x] = row[x];
            mean.r += row[x].r;
            mean.g += row[x].g;
            mean.b += row[x].b;
            mean.a += row[x].a;
        }
    }
    const double n = double(w) * h;
    mean = {mean.r / n, mean.g / n, mean.b / n, mean.a / n};

    double size = w * scale; // as radsoften sizes its blur
    double r = size >= 1.0 ? double(long(size + 1.0)) : 0.5;
    double taps = 4 * r - 1;
    double macs = double(w) * h * 4 * taps * 2;

    double peak1 = peak_rate(lanes);
    double start = cpu_seconds();
    int failed = gaussian_blur(image.get(), image.get(), w, h, size, mean, nullptr, nullptr, lanes);
    double elapsed = cpu_seconds() - start;
    if (failed) {
        fprintf(stderr, "blurpeak: Cannot allocate memory.\n");
        return 1;
    }
    double peak2 = peak_rate(lanes);
    double peak = peak1 > peak2 ? peak1 : peak2;
    double rate = macs / elapsed;
    printf("image %dx%d, scale factor %g: %.0f taps per pass, %d lanes\n", w, h, scale, taps,
           lanes);
    printf("peak  %.3g multiply-adds/s (%.3g and %.3g)\n", peak, peak1, peak2);
    printf("blur  %.3g multiply-adds/s (%.3g in %.3f s)\n", rate, macs, elapsed);
    printf("ratio %.2f of peak\n", rate / peak);
    return 0;
}
