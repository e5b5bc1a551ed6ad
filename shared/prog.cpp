// The shared steps of a program's run.
#include "prog.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The reason of the first write refused on stdout, for prog_stdout_written.
int stdout_error = 0;

// Holds each standard descriptor that is closed with /dev/null opened for
// reading only: the number is taken, and a write there is refused as on
// the closed descriptor. Returns false, after a message, when one could
// not be opened.
bool standard_descriptors_held(const char *prog)
{
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        int null = open("/dev/null", O_RDONLY);
        if (null != fd) {
            int err = null < 0 ? errno : EBADF;
            if (null >= 0)
                close(null);
            fprintf(stderr, "%s: Cannot open /dev/null in place of a closed standard stream: %s.\n",
                    prog, strerror(err));
            return false;
        }
    }
    return true;
}

} // namespace

bool prog_parse(const prog_command &command, int argc, char **argv, int *first, int *status)
{
    *status = 1;
    if (!standard_descriptors_held(command.prog))
        return false;
    if (argc == 2 && strcmp(argv[1], "--help") == 0) {
        fputs(command.usage, stdout);
        for (const prog_option &o : command.options)
            printf("  -%c %cval  %s%s%s (default %g)\n", o.letter, o.letter, o.meaning,
                   *o.range ? ", " : "", o.range, *o.value);
        printf("Manual page: %s(1)\n", command.program);
        *status = prog_stdout_written(command.prog) ? 0 : 1;
        return false;
    }
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        printf("%s (%s) %s\n", command.program, SUITE_NAME, SUITE_VERSION);
        *status = prog_stdout_written(command.prog) ? 0 : 1;
        return false;
    }
    if (argc - 1 < command.arguments) {
        fputs(command.usage, stderr);
        return false;
    }
    *first = 1;
    if (command.options.empty())
        return true;
    std::string letters;
    for (const prog_option &o : command.options)
        letters += std::string(1, o.letter) + ":";
    for (int opt; (opt = getopt(argc, argv, letters.c_str())) != -1;) {
        const prog_option *found = nullptr;
        for (const prog_option &o : command.options)
            if (o.letter == opt)
                found = &o;
        if (!found) {
            fputs(command.bad_option_usage ? command.bad_option_usage : command.usage, stderr);
            return false;
        }
        *found->value = atof(optarg);
    }
    if (argc - optind < command.operands) {
        fputs(command.usage, stderr);
        return false;
    }
    *first = optind;
    return true;
}

int prog_cannot_open(const char *prog, const char *path, prog_stop stop)
{
    fprintf(stderr, "%s: Cannot open %s%s\n", prog, path, stop == PROG_STOP ? "." : "");
    return 1;
}

void prog_size_line(const char *prog, const char *path, int w, int h)
{
    printf("%s: %s [%dx%d]\n", prog, path, w, h);
    // sent out at once, as on a terminal, so that it comes before the
    // progress lines where both streams go to one file
    if (fflush(stdout) != 0 && !stdout_error)
        stdout_error = errno;
}

exrinput_ptr prog_open_input(const char *prog, const char *path)
{
    exrinput_ptr in(exrinput_new(path));
    if (!in) {
        prog_cannot_open(prog, path);
        return nullptr;
    }
    prog_size_line(prog, path, exrinput_get_width(in.get()), exrinput_get_height(in.get()));
    return in;
}

exrinput_ptr prog_open_companion(const char *prog, const char *path, const exrinput_t *in)
{
    exrinput_ptr other(exrinput_new(path));
    if (!other) {
        prog_cannot_open(prog, path);
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

exroutput_ptr prog_create_output(const char *prog, const char *path, int w, int h, prog_stop stop)
{
    exroutput_ptr out(exroutput_new(path, w, h));
    if (!out)
        prog_cannot_open(prog, path, stop);
    return out;
}

exroutput_ptr prog_create_output(const char *prog, const char *path, const exrinput_t *in)
{
    return prog_create_output(prog, path, exrinput_get_width(in), exrinput_get_height(in));
}

void prog_done(const char *prog)
{
    fprintf(stderr, "\n%s: Done.\n", prog);
}

bool prog_inputs_whole(const char *prog, const char *out_path,
                       std::initializer_list<const input_damage *> inputs)
{
    bool whole = true;
    for (const input_damage *d : inputs) {
        if (!d || !d->damaged())
            continue;
        if (whole)
            fputc('\n', stderr);
        whole = false;
        if (d->rows > 0 && !d->reason.empty())
            fprintf(stderr, "%s: %s: %d of %d rows could not be read, the first row %d: %s\n",
                    d->module, d->path.c_str(), d->rows, d->height, d->first, d->reason.c_str());
        else if (d->rows > 0)
            fprintf(stderr, "%s: %s: %d of %d rows could not be read, the first row %d.\n",
                    d->module, d->path.c_str(), d->rows, d->height, d->first);
        else
            fprintf(stderr, "%s: %s: %s\n", d->module, d->path.c_str(), d->reason.c_str());
    }
    if (whole)
        return true;
    if (out_path)
        prog_not_written(prog, out_path);
    else
        fprintf(stderr, "%s: No report.\n", prog);
    return false;
}

void prog_not_written(const char *prog, const char *out_path)
{
    fprintf(stderr, "%s: %s was not written.\n", prog, out_path);
}

bool prog_stdout_written(const char *prog)
{
    int err = fflush(stdout) != 0 ? errno : ferror(stdout) ? EIO : 0;
    if (stdout_error)
        err = stdout_error;
    if (!err)
        return true;
    fprintf(stderr, "%s: Cannot write standard output: %s.\n", prog, strerror(err));
    return false;
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
