// A text file written through the suite's write policy (outfile.h): the
// lines go to a temporary file that replaces the target only when
// textoutput_commit completes it.
#ifndef TEXTOUTPUT_H
#define TEXTOUTPUT_H

#include <cstdio>
#include <memory>

struct textoutput;

// Creates the output for path. On failure prints "textoutput: Cannot open
// <path>: <reason>\n" on stderr and returns null.
[[nodiscard]] textoutput *textoutput_new(const char *path);

// The stream to write the text to; owned by the output.
FILE *textoutput_stream(textoutput *out);

// Completes the file and moves it over the target. Returns 0, or 1 after
// "textoutput: Cannot write <path>: <reason>\n" (the first refused write's
// reason, if a write was refused); the target is then as it was.
[[nodiscard]] int textoutput_commit(textoutput *out);

const char *textoutput_get_path(const textoutput *out);

// Releases the output, discarding it unless it was committed; null is
// allowed.
void textoutput_delete(textoutput *out);

struct textoutput_closer {
    void operator()(textoutput *out) const { textoutput_delete(out); }
};
using textoutput_ptr = std::unique_ptr<textoutput, textoutput_closer>;

// The finish step's view of it (see prog.h).
inline int prog_commit(textoutput *out)
{
    return textoutput_commit(out);
}
inline const char *prog_output_path(const textoutput *out)
{
    return textoutput_get_path(out);
}

#endif
