// The shared steps of a program's run.
#include "prog.h"

#include <new>

exrinput_ptr prog_open_input(const char *prog, const char *path)
{
    exrinput_ptr in(exrinput_new(path));
    if (!in) {
        fprintf(stderr, "%s: Cannot open %s.\n", prog, path);
        return nullptr;
    }
    printf("%s: %s [%dx%d]\n", prog, path, exrinput_get_width(in.get()),
           exrinput_get_height(in.get()));
    return in;
}

exrinput_ptr prog_open_companion(const char *prog, const char *path, const exrinput_t *in)
{
    exrinput_ptr other(exrinput_new(path));
    if (!other) {
        fprintf(stderr, "%s: Cannot open %s.\n", prog, path);
        return nullptr;
    }
    int w = exrinput_get_width(other.get()), h = exrinput_get_height(other.get());
    if (w != exrinput_get_width(in) || h != exrinput_get_height(in)) {
        fprintf(stderr, "%s: Whitepoint image (%dx%d) does not match input image (%dx%d).\n",
                prog, w, h, exrinput_get_width(in), exrinput_get_height(in));
        return nullptr;
    }
    return other;
}

row_ptr prog_alloc_row(const char *prog, int width)
{
    row_ptr row(new (std::nothrow) rgba_t[size_t(width)]);
    if (!row)
        fprintf(stderr, "%s: Cannot allocate memory.\n", prog);
    return row;
}

exroutput_ptr prog_create_output(const char *prog, const char *path, const exrinput_t *in)
{
    exroutput_ptr out(exroutput_new(path, exrinput_get_width(in), exrinput_get_height(in)));
    if (!out)
        fprintf(stderr, "%s: Cannot open %s.\n", prog, path);
    return out;
}

void prog_done(const char *prog)
{
    fprintf(stderr, "\n%s: Done.\n", prog);
}

int prog_close(exroutput_ptr out, exrinput_ptr in, exrinput_ptr companion)
{
    int status = exroutput_delete(out.release());
    if (companion && exrinput_get_failures(companion.get()) > 0)
        status = 1;
    if (in && exrinput_get_failures(in.get()) > 0)
        status = 1;
    companion.reset();
    in.reset();
    return status;
}

bool prog_open_files(const char *prog, const char *in_path, const char *companion_path,
                     const char *out_path, prog_files *files)
{
    if (!(files->in = prog_open_input(prog, in_path)))
        return false;
    if (!(files->row = prog_alloc_row(prog, exrinput_get_width(files->in.get()))))
        return false;
    if (companion_path &&
        !(files->companion = prog_open_companion(prog, companion_path, files->in.get())))
        return false;
    files->out = prog_create_output(prog, out_path, files->in.get());
    return bool(files->out);
}

int prog_close(prog_files files)
{
    files.row.reset();
    return prog_close(std::move(files.out), std::move(files.in), std::move(files.companion));
}
