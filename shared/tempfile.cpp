// Temporary output files, and their removal when a signal stops the program.
#include "tempfile.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Paths pending commit, for the signal handler. A program has at most a
// couple of outputs open at once.
const int max_pending = 8;
char *pending[max_pending];
volatile sig_atomic_t handlers_installed = 0;

void remove_pending(int sig)
{
    for (int i = 0; i < max_pending; i++)
        if (pending[i])
            unlink(pending[i]);
    signal(sig, SIG_DFL);
    raise(sig);
}

void remember(const std::string &path)
{
    if (!handlers_installed) {
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction sa = {};
            sa.sa_handler = remove_pending;
            sigemptyset(&sa.sa_mask);
            struct sigaction old;
            // keep a signal the caller's parent chose to ignore ignored
            if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
                continue;
            sigaction(sig, &sa, nullptr);
        }
        handlers_installed = 1;
    }
    for (int i = 0; i < max_pending; i++)
        if (!pending[i]) {
            pending[i] = strdup(path.c_str());
            return;
        }
}

void forget(const std::string &path)
{
    for (int i = 0; i < max_pending; i++)
        if (pending[i] && path == pending[i]) {
            char *p = pending[i];
            pending[i] = nullptr;
            free(p);
            return;
        }
}

} // namespace

std::string tempfile_create(const char *target)
{
    struct stat st;
    if (stat(target, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return std::string();
    }
    std::string path = target;
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string tmpl = dir + "." + base + ".XXXXXX";
    // The stopping signals wait until the file is on the pending list, so
    // that none can end the program between its creation and its listing.
    sigset_t stopping, old;
    sigemptyset(&stopping);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stopping, sig);
    sigprocmask(SIG_BLOCK, &stopping, &old);
    int fd = mkstemp(&tmpl[0]);
    if (fd < 0) {
        int saved = errno;
        sigprocmask(SIG_SETMASK, &old, nullptr);
        errno = saved;
        return std::string();
    }
    remember(tmpl);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    return tmpl;
}

int tempfile_commit(const std::string &tmp, const char *target)
{
    int rc = rename(tmp.c_str(), target);
    if (rc != 0) {
        int saved = errno;
        unlink(tmp.c_str());
        errno = saved;
    }
    forget(tmp);
    return rc == 0 ? 0 : -1;
}

void tempfile_discard(const std::string &tmp)
{
    unlink(tmp.c_str());
    forget(tmp);
}

int tempfile_close_commit(FILE *stream, const std::string &tmp, const char *target)
{
    // A write refused earlier leaves the stream's error flag and, if the
    // caller cleared errno before writing, its reason in errno.
    bool ok = fflush(stream) == 0 && !ferror(stream);
    int err = errno;
    if (fclose(stream) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        tempfile_discard(tmp);
        errno = err ? err : EIO;
        return -1;
    }
    return tempfile_commit(tmp, target);
}
