// Reading the fixed raw grid: 768 x 512 IEEE single-precision samples,
// big-endian, row-major from the top, with no header.
#ifndef RAWINPUT_H
#define RAWINPUT_H

#include <cstddef>
#include <cstdio>

const int rawinput_width = 768;
const int rawinput_height = 512;
const size_t rawinput_bytes = size_t(rawinput_width) * rawinput_height * 4;

// Reads the grid from in into grid (rawinput_width x rawinput_height floats,
// host order). Returns the number of bytes the file held, at most
// rawinput_bytes: anything after the grid is not read. Samples the file did
// not hold are zero.
size_t rawinput_read_grid(FILE *in, float *grid);

#endif
