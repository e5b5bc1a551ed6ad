// radappear-sigmoid: a fixed sigmoid on the cone responses, w / (w + 0.5^0.73)
// with w = v^0.73 (sign kept). It takes radappear's command line; the blurred
// image must exist and match the input, but neither it nor the options
// change the result.
// Usage: radappear-sigmoid [-m mval] [-c cval] [-k kval] [-l lval] input.exr blur.exr output.exr
#include <cstdio>

#include "appear.h"
#include "colour.h"
#include "prog.h"
#include "heap.h"

static const char prog_name[] = "radappear";

// A response of exactly -0.5 divides by zero; the writer stores the
// infinity as 0.
static double sigmoid(double v)
{
    const double sigma = 0.6029039138453802; // 0.5^0.73: a response of 0.5 maps to 0.5
    double w = signed_pow(v, 0.73);
    return w / (w + sigma);
}

// The 0.73 power is not undone before converting back.
static rgba_t appear_sigmoid_pixel(const rgba_t &px)
{
    double l, m, s;
    rgb_to_lms(px.r, px.g, px.b, &l, &m, &s);
    return lms_to_rgba(sigmoid(l), sigmoid(m), sigmoid(s), px.a);
}

int main(int argc, char **argv)
{
    heap_keep_freed();
    appear_params p;
    int first, status;
    if (!prog_parse(appear_command("radappear-sigmoid", &p), argc, argv, &first, &status))
        return status;
    appear_print_params(p);
    prog_files files;
    if (!prog_open_files(prog_name, argv[first], argv[first + 1], argv[first + 2], &files))
        return 1;

    prog_map2(prog_name, files, "Correcting scanline", 10,
              [](const rgba_t &px, const rgba_t &) { return appear_sigmoid_pixel(px); });

    return prog_finish(prog_name, files);
}
