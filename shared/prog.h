// The steps nearly every program of the suite takes, each one call that
// prints the suite's message for its failure and returns, never exits:
// open the input (size line on stdout), allocate a row, open a companion
// image of the same size, create the output, run passes over the rows with
// progress lines, and finish: commit the output or discard it, and turn
// what happened into the exit status.
#ifndef PROG_H
#define PROG_H

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <vector>

#include "damage.h"
#include "exrinput.h"
#include "exroutput.h"
#include "rgba.h"

struct exrinput_closer {
    void operator()(exrinput_t *in) const { exrinput_delete(in); }
};
// Deleting an output that was not committed discards it.
struct exroutput_closer {
    void operator()(exroutput_t *out) const { exroutput_delete(out); }
};
using exrinput_ptr = std::unique_ptr<exrinput_t, exrinput_closer>;
using exroutput_ptr = std::unique_ptr<exroutput_t, exroutput_closer>;
using row_ptr = std::unique_ptr<rgba_t[]>;

// One option of a program: its letter, where its value goes (read with
// atof; what it holds before is the default), and what --help says of it.
struct prog_option {
    char letter;
    double *value;
    const char *meaning; // "brightness"
    const char *range;   // "-8 ... 8", or "" for any value
};

// A program's command line. Every program starts with prog_parse on it.
struct prog_command {
    const char *prog;    // the name messages print under (a variant's family)
    const char *program; // the program's own name, for --version and its manual page
    const char *usage;   // "Usage: ...\n"
    int arguments;       // arguments needed, counted before anything else
    int operands = 0;    // with options: operands needed after them
    std::vector<prog_option> options = {};
    // the usage printed for an unknown option, when it differs
    const char *bad_option_usage = nullptr;
};

// Reads the command line. "--help" or "--version" as the only argument
// prints the usage line, one line per option with its default and range,
// and the manual page to read, or "<program> (radsuite) <version>", on
// stdout and asks for status 0. Otherwise too few arguments, an unknown
// option or too few operands print the usage on stderr and ask for status
// 1. Options are read with getopt only when the program has any, the last
// repetition winning. Returns true when the program is to run, with
// *first the index of its first operand; false with *status set (1 also
// when the help or version text could not be written, see
// prog_stdout_written). Before anything else it holds each of the three
// standard descriptors the program was started without with /dev/null,
// open for reading only, so that no file of the run takes its number (a
// message for a closed standard error would otherwise be written into the
// output image) while writes there are still refused: a size line on a
// closed stdout fails the run, messages on a closed stderr are lost.
// Without /dev/null the program does not run (status 1).
[[nodiscard]] bool prog_parse(const prog_command &command, int argc, char **argv, int *first,
                              int *status);

// How a program's "Cannot open" line ends: with a full stop, or without
// (the converters' lines, which were always so).
enum prog_stop { PROG_STOP, PROG_NO_STOP };

// "<prog>: Cannot open <path>.\n" (or without the full stop) on stderr,
// after the module's own message; returns 1, the status.
int prog_cannot_open(const char *prog, const char *path, prog_stop stop = PROG_STOP);

// "<prog>: <path> [WxH]\n" on stdout: the size line, once an input of any
// format is open. It is sent out at once; a refused write is reported by
// prog_stdout_written at the end of the run.
void prog_size_line(const char *prog, const char *path, int w, int h);

// Opens the input; on failure the reader's message is followed by
// "<prog>: Cannot open <path>.\n". On success prints the size line.
[[nodiscard]] exrinput_ptr prog_open_input(const char *prog, const char *path);

// Opens an image that must have in's size. Prints "<prog>: Cannot open
// <path>.\n" after the reader's message, or "<prog>: Whitepoint image (WxH)
// does not match input image (WxH).\n" with the companion's size first
// (widths compared first, then heights), and returns null on either.
[[nodiscard]] exrinput_ptr prog_open_companion(const char *prog, const char *path,
                                               const exrinput_t *in);

// A row of width pixels, or null after "<prog>: Cannot allocate memory.\n".
[[nodiscard]] row_ptr prog_alloc_row(const char *prog, int width);

// Creates an output of w x h; on failure the writer's message is followed
// by prog_cannot_open's line.
[[nodiscard]] exroutput_ptr prog_create_output(const char *prog, const char *path, int w, int h,
                                               prog_stop stop = PROG_STOP);

// The same at in's size.
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

// The writers as the finish step sees them: each completes its file and
// moves it into place (0, or 1 after the writer's own message), and names
// the path it was created for. pngoutput.h and textoutput.h add theirs.
inline int prog_commit(exroutput_t *out)
{
    return exroutput_commit(out);
}
inline const char *prog_output_path(const exroutput_t *out)
{
    return exroutput_get_path(out);
}

// The verdict on the inputs: true when no reader found damage. Otherwise
// prints, after a newline, each damaged input's summary under its reader's
// name ("<module>: <path>: <n> of <h> rows could not be read, the first
// row <y>: <reason>", or "<module>: <path>: <reason>"), then
// "<prog>: <out_path> was not written.\n", or "<prog>: No report.\n" when
// out_path is null. Null records are skipped.
[[nodiscard]] bool prog_inputs_whole(const char *prog, const char *out_path,
                                     std::initializer_list<const input_damage *> inputs);

// "<prog>: <out_path> was not written.\n" on stderr.
void prog_not_written(const char *prog, const char *out_path);

// Sends out what the program printed on stdout. Returns true when it was
// written; otherwise prints "<prog>: Cannot write standard output:
// <reason>.\n" on stderr and returns false (stdout on a full disk, or
// /dev/full).
[[nodiscard]] bool prog_stdout_written(const char *prog);

// The end of every run, one step for all programs: a run whose inputs were
// damaged discards its output (see prog_inputs_whole) and returns 1, so the
// target stays as it was. Otherwise what the run printed on stdout (its
// size line) is sent out, and then the output is committed; when either
// fails the run also returns 1 and the target stays as it was. On success
// done() prints the program's last line (prog_done's "Done." for most) and
// the result is 0. out may be null for a program that writes no file; its
// report then belongs in done(), so that none is made from damaged data,
// and the run returns 1 when the report cannot be written. The output is
// released by its owner afterwards; one not committed is discarded then.
template <class Output, class Done>
[[nodiscard]] int prog_finish(const char *prog, Output *out,
                              std::initializer_list<const input_damage *> inputs, Done &&done)
{
    if (!prog_inputs_whole(prog, out ? prog_output_path(out) : nullptr, inputs))
        return 1;
    if (out && (!prog_stdout_written(prog) || prog_commit(out) != 0)) {
        prog_not_written(prog, prog_output_path(out));
        return 1;
    }
    done();
    return (out || prog_stdout_written(prog)) ? 0 : 1;
}

// prog_finish for a program that writes no file (its report is in done()).
template <class Done>
[[nodiscard]] int prog_finish(const char *prog, std::nullptr_t,
                              std::initializer_list<const input_damage *> inputs, Done &&done)
{
    return prog_finish(prog, static_cast<exroutput_t *>(nullptr), inputs, done);
}

// prog_finish for a program with the standard "Done." line.
template <class Output>
[[nodiscard]] int prog_finish(const char *prog, Output *out,
                              std::initializer_list<const input_damage *> inputs)
{
    return prog_finish(prog, out, inputs, [prog] { prog_done(prog); });
}

// prog_finish over what prog_open_files opened: its input and companion
// decide, its output is committed.
template <class Done>
[[nodiscard]] int prog_finish(const char *prog, prog_files &files, Done &&done)
{
    const input_damage *companion =
        files.companion ? exrinput_get_damage(files.companion.get()) : nullptr;
    return prog_finish(prog, files.out.get(), {exrinput_get_damage(files.in.get()), companion},
                       done);
}

[[nodiscard]] inline int prog_finish(const char *prog, prog_files &files)
{
    return prog_finish(prog, files, [prog] { prog_done(prog); });
}

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
