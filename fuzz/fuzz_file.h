// The fuzzers' input as a file the readers can open by path: an in-memory
// file (memfd) named through /proc/self/fd.
#ifndef FUZZ_FILE_H
#define FUZZ_FILE_H

#include <cstdint>
#include <cstdio>
#include <sys/mman.h>
#include <unistd.h>

class fuzz_file {
public:
    fuzz_file(const uint8_t *data, size_t size)
    {
        fd_ = memfd_create("fuzz", 0);
        size_t done = 0;
        while (done < size) {
            ssize_t n = write(fd_, data + done, size - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        snprintf(path_, sizeof path_, "/proc/self/fd/%d", fd_);
    }
    ~fuzz_file() { close(fd_); }
    fuzz_file(const fuzz_file &) = delete;
    fuzz_file &operator=(const fuzz_file &) = delete;
    const char *path() const { return path_; }

private:
    int fd_;
    char path_[64];
};

#endif
