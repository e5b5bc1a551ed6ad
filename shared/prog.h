// The steps nearly every program of the suite takes, each one call that
// prints the suite's message for its failure and returns, never exits:
// open the input (size line on stdout), allocate a row, open a companion
// image of the same size, create the output, run passes over the rows with
// progress lines, close everything and turn what happened into the status.
#ifndef PROG_H
#define PROG_H

#include <cstdio>
#include <memory>

#include "exrinput.h"
#include "exroutput.h"
#include "rgba.h"

struct exrinput_closer {
    void operator()(exrinput_t *in) const { exrinput_delete(in); }
};
// Deleting an output that has not received all its rows discards it.
struct exroutput_closer {
    void operator()(exroutput_t *out) const { exroutput_delete(out); }
};
using exrinput_ptr = std::unique_ptr<exrinput_t, exrinput_closer>;
using exroutput_ptr = std::unique_ptr<exroutput_t, exroutput_closer>;
using row_ptr = std::unique_ptr<rgba_t[]>;

#define PROG_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

// Opens the input; on failure the reader's message is followed by
// "<prog>: Cannot open <path>.\n". On success prints "<prog>: <path> [WxH]\n"
// on stdout.
[[nodiscard]] exrinput_ptr prog_open_input(const char *prog, const char *path);

// Opens an image that must have in's size. Prints "<prog>: Cannot open
// <path>.\n" after the reader's message, or "<prog>: Whitepoint image (WxH)
// does not match input image (WxH).\n" with the companion's size first
// (widths compared first, then heights), and returns null on either.
[[nodiscard]] exrinput_ptr prog_open_companion(const char *prog, const char *path,
                                               const exrinput_t *in);

// A row of width pixels, or null after "<prog>: Cannot allocate memory.\n".
[[nodiscard]] row_ptr prog_alloc_row(const char *prog, int width);

// Creates the output at in's size; on failure the writer's message is
// followed by "<prog>: Cannot open <path>.\n".
[[nodiscard]] exroutput_ptr prog_create_output(const char *prog, const char *path,
                                               const exrinput_t *in);

// What a program has open while it runs: its input, a row of the input's
// width, the companion image when it has one, and its output.
struct prog_files {
    exrinput_ptr in;
    row_ptr row;
    exrinput_ptr companion;
    exroutput_ptr out;
};

// The opening steps every image-to-image program takes, in this order:
// prog_open_input, prog_alloc_row, prog_open_companion (only when
// companion_path is not null) and prog_create_output. Stops at the first
// that fails (it has printed its message) and returns false; what was
// opened is released with files.
[[nodiscard]] bool prog_open_files(const char *prog, const char *in_path,
                                   const char *companion_path, const char *out_path,
                                   prog_files *files);

// "<prog>: <label> <y>\r" on stderr when y is a multiple of every.
inline void prog_progress(const char *prog, const char *label, int y, int every)
{
    if (y % every == 0)
        fprintf(stderr, "%s: %s %d\r", prog, label, y);
}

// "\n<prog>: Done.\n" on stderr.
void prog_done(const char *prog);

// Completes the output, then closes the companion and the input (each may be
// null). Returns the exit status: 1 when the output could not be completed
// or a row of either image could not be read, else 0.
[[nodiscard]] int prog_close(exroutput_ptr out, exrinput_ptr in, exrinput_ptr companion = nullptr);

// The same for everything prog_open_files opened.
[[nodiscard]] int prog_close(prog_files files);

// A reading pass: every row from the top, the progress line after the read,
// then scan(row, y).
template <class Scan>
void prog_scan(const char *prog, exrinput_t *in, const char *label, int every, Scan &&scan)
{
    int h = exrinput_get_height(in);
    for (int y = 0; y < h; y++) {
        const rgba_t *row = exrinput_get_scanline(in, y);
        prog_progress(prog, label, y, every);
        scan(row, y);
    }
}

// A transforming pass: every row from the top is read, the progress line
// printed, each pixel mapped by op(pixel) into row, and row written.
template <class Op>
void prog_map(const char *prog, exrinput_t *in, exroutput_t *out, rgba_t *row,
              const char *label, int every, Op &&op)
{
    int w = exrinput_get_width(in), h = exrinput_get_height(in);
    for (int y = 0; y < h; y++) {
        const rgba_t *src = exrinput_get_scanline(in, y);
        prog_progress(prog, label, y, every);
        for (int x = 0; x < w; x++)
            row[x] = op(src[x]);
        exroutput_write_scanline(out, row);
    }
}

// The same with a companion image read in step: op(pixel, companion pixel).
template <class Op>
void prog_map2(const char *prog, exrinput_t *in, exrinput_t *companion, exroutput_t *out,
               rgba_t *row, const char *label, int every, Op &&op)
{
    int w = exrinput_get_width(in), h = exrinput_get_height(in);
    for (int y = 0; y < h; y++) {
        const rgba_t *src = exrinput_get_scanline(in, y);
        const rgba_t *other = exrinput_get_scanline(companion, y);
        prog_progress(prog, label, y, every);
        for (int x = 0; x < w; x++)
            row[x] = op(src[x], other[x]);
        exroutput_write_scanline(out, row);
    }
}

// prog_map over the images of files: input to output.
template <class Op>
void prog_map(const char *prog, prog_files &files, const char *label, int every, Op &&op)
{
    prog_map(prog, files.in.get(), files.out.get(), files.row.get(), label, every, op);
}

// prog_map2 over the images of files: input and companion to output.
template <class Op>
void prog_map2(const char *prog, prog_files &files, const char *label, int every, Op &&op)
{
    prog_map2(prog, files.in.get(), files.companion.get(), files.out.get(), files.row.get(),
              label, every, op);
}

#endif
