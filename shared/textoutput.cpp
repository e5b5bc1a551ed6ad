// Text output over outfile's stdio stream.
#include "textoutput.h"

#include "outfile.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

struct textoutput {
    std::string path;
    outfile *file = nullptr;
    FILE *stream = nullptr;
};

textoutput *textoutput_new(const char *path)
{
    textoutput *out = new (std::nothrow) textoutput;
    std::string why = strerror(ENOMEM);
    if (out) {
        out->path = path;
        out->file = outfile_new(path, OUTFILE_SEQUENTIAL, &why);
        out->stream = out->file ? outfile_stream(out->file) : nullptr;
        if (out->file && !out->stream)
            why = strerror(errno);
    }
    if (!out || !out->stream) {
        fprintf(stderr, "textoutput: Cannot open %s: %s\n", path, why.c_str());
        textoutput_delete(out);
        return nullptr;
    }
    return out;
}

FILE *textoutput_stream(textoutput *out)
{
    return out->stream;
}

int textoutput_commit(textoutput *out)
{
    if (outfile_commit(out->file) != 0) {
        fprintf(stderr, "textoutput: Cannot write %s: %s\n", out->path.c_str(), strerror(errno));
        return 1;
    }
    return 0;
}

const char *textoutput_get_path(const textoutput *out)
{
    return out->path.c_str();
}

void textoutput_delete(textoutput *out)
{
    if (!out)
        return;
    outfile_delete(out->file);
    delete out;
}
