// The write policy of every output: a temporary file renamed over a regular
// target once complete, links followed to the file they name, and devices,
// FIFOs and open streams written through.
#include "outfile.h"

#include "printable.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

struct outfile {
    int fd = -1;
    std::string target;    // the file replaced, or the node written through
    std::string dir;       // the target's directory, ending in '/'
    std::string data_path; // what a library opens: see outfile_data_path
    std::string named;     // the named temporary file, while it exists
    bool temporary = false;
    bool existed = false; // the target is a file whose mode and owner carry over
    struct stat old = {};
    FILE *stream = nullptr;
    int write_error = 0; // errno of the first write the stream refused
    bool done = false;   // committed, or found unusable by the commit
};

namespace {

outfile_temporary temporary_kind = OUTFILE_UNNAMED;

// The signals that stop a program and can be caught: a named temporary file
// is removed before the program dies of one of them.
const int stopping_signals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT, SIGPIPE,
                                SIGALRM, SIGUSR1, SIGUSR2, SIGXFSZ};

// Named temporary files pending commit. A program has at most a couple of
// outputs open at once.
const int max_pending = 8;
char *pending[max_pending];

void remove_pending(int sig)
{
    for (char *name : pending)
        if (name)
            unlink(name);
    signal(sig, SIG_DFL);
    raise(sig);
}

// Puts remove_pending on every stopping signal, each time a name is made:
// what is installed is asked of the system, not remembered, so a child
// process whose signals were reset, or a caller that changed them since,
// gets the handlers again.
void install_handlers()
{
    for (int sig : stopping_signals) {
        struct sigaction old;
        // keep a signal that the parent chose to ignore ignored (a full-disk
        // run ignores SIGXFSZ so that writes fail with EFBIG instead)
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        struct sigaction sa = {};
        sa.sa_handler = remove_pending;
        sigemptyset(&sa.sa_mask);
        sigaction(sig, &sa, nullptr);
    }
}

// Holds the stopping signals back while it lives, so that no signal can end
// the program between a temporary name's creation and its listing (or, at
// the commit, between a name's appearance and the rename that consumes it).
struct signals_held {
    sigset_t old;
    signals_held()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : stopping_signals)
            sigaddset(&set, sig);
        sigprocmask(SIG_BLOCK, &set, &old);
    }
    ~signals_held() { sigprocmask(SIG_SETMASK, &old, nullptr); }
};

void remember(const std::string &name)
{
    install_handlers();
    for (char *&slot : pending)
        if (!slot) {
            slot = strdup(name.c_str());
            return;
        }
}

void forget(const std::string &name)
{
    for (char *&slot : pending)
        if (slot && name == slot) {
            free(slot);
            slot = nullptr;
            return;
        }
}

// A hidden name in dir that does not exist yet, short enough for any file
// system whatever the target's own name: ".radsuite-" and 8 letters.
std::string fresh_name(const std::string &dir)
{
    static uint64_t state = 0;
    if (!state) {
        struct timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        state = (uint64_t(ts.tv_nsec) ^ uint64_t(ts.tv_sec) << 20 ^ uint64_t(getpid()) << 40) | 1;
    }
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = dir + ".radsuite-";
    for (int i = 0; i < 8; i++) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        name += letters[state % 36];
    }
    return name;
}

std::string directory_of(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

// Whether dir lies in /proc, whose links name open files rather than paths
// (/dev/stdout and /dev/fd/N lead there).
bool in_proc(const std::string &dir)
{
    char *real = realpath(dir.c_str(), nullptr);
    if (!real)
        return false;
    bool proc = strncmp(real, "/proc/", 6) == 0 || strcmp(real, "/proc") == 0;
    free(real);
    return proc;
}

enum target_kind { TARGET_FILE, TARGET_THROUGH };

// Whether a folder is sticky and writable by all, as /tmp is: anyone may
// put names there, and only their owners may remove them.
bool shared_folder(const struct stat &dir)
{
    return (dir.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
}

// Whether the link whose lstat is st may be followed: the kernel's rule
// for links in shared folders (protected_symlinks), applied whatever the
// system's setting, since the links are read here and not followed by the
// kernel. In a shared folder a link is followed only when it belongs to
// the user or to the folder's owner. Returns 0, or an errno value with *why.
int may_follow(const std::string &link, const struct stat &st, std::string *why)
{
    struct stat dir;
    if (stat(directory_of(link).c_str(), &dir) != 0)
        return errno;
    if (!shared_folder(dir) || st.st_uid == geteuid() || st.st_uid == dir.st_uid)
        return 0;
    *why = std::string(strerror(EACCES)) + ": " + printable(link) +
           " is a symbolic link in a folder that everyone may write to (sticky, as /tmp is), "
           "and it belongs to neither you nor the folder's owner, so it is not followed";
    return EACCES;
}

// Whether the file or FIFO whose stat is st may be written: the kernel's
// rule for what is opened to be written in a shared folder
// (protected_regular, protected_fifos), applied whatever the system's
// setting and to root too, since a rename or a plain open here would pass
// by it. A file or FIFO there that belongs to neither the user nor the
// folder's owner may have been put there to catch what is written, so it
// is not written. In any other sticky folder only a file's owner, the
// folder's owner or root may remove its name, and the rename at the commit
// would be refused after all the work. Returns 0, or an errno value with
// *why.
int may_write(const std::string &node, const struct stat &st, std::string *why)
{
    struct stat dir;
    uid_t me = geteuid();
    if (stat(directory_of(node).c_str(), &dir) != 0 || !(dir.st_mode & S_ISVTX) || st.st_uid == me)
        return 0;
    if (shared_folder(dir) && (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)) && st.st_uid != dir.st_uid) {
        *why = std::string(strerror(EACCES)) + ": " + printable(node) +
               " is in a folder that everyone may write to (sticky, as /tmp is), and it belongs to "
               "neither you nor the folder's owner, so it is not written";
        return EACCES;
    }
    if (S_ISREG(st.st_mode) && me != 0 && dir.st_uid != me) {
        *why = std::string(strerror(EPERM)) + ": " + printable(node) +
               " is in a sticky folder and belongs to neither you nor the folder's owner, so it "
               "cannot be replaced";
        return EPERM;
    }
    return 0;
}

// Follows path's chain of symbolic links to the file that is to be
// replaced (or created) and says whether it is a regular file's place or a
// node to write through. Returns 0, or an errno value (with *why for a
// refused link).
int resolve(const char *path, std::string *target, target_kind *kind, std::string *why)
{
    if (!*path)
        return ENOENT;
    std::string cur = path;
    for (int links = 0;; links++) {
        struct stat st;
        if (lstat(cur.c_str(), &st) != 0) {
            if (errno != ENOENT)
                return errno;
            *target = cur; // nothing there yet (or a dangling link's name)
            *kind = TARGET_FILE;
            return 0;
        }
        if (S_ISLNK(st.st_mode)) {
            if (links >= 40)
                return ELOOP;
            if (int err = may_follow(cur, st, why))
                return err;
            std::string dir = directory_of(cur);
            if (in_proc(dir)) {
                *target = cur;
                *kind = TARGET_THROUGH;
                return 0;
            }
            std::string link(size_t(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
            ssize_t n = readlink(cur.c_str(), &link[0], link.size());
            if (n <= 0)
                return n < 0 ? errno : ENOENT;
            if (size_t(n) >= link.size())
                return ENAMETOOLONG; // changed while it was read
            link.resize(size_t(n));
            cur = link[0] == '/' ? link : dir + link;
            continue;
        }
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        *target = cur;
        *kind = S_ISREG(st.st_mode) ? TARGET_FILE : TARGET_THROUGH;
        return 0;
    }
}

// Opens a device, FIFO or stream as a plain open for writing would.
int open_through(outfile *f, outfile_access access)
{
    struct stat st;
    if (access == OUTFILE_SEEKABLE && stat(f->target.c_str(), &st) == 0 &&
        (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
        return ESPIPE; // refused before a FIFO's open would wait for a reader
    f->fd = open(f->target.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
    if (f->fd < 0)
        return errno;
    if (access == OUTFILE_SEEKABLE && lseek(f->fd, 0, SEEK_CUR) < 0)
        return ESPIPE;
    f->data_path = f->target;
    return 0;
}

// Makes the temporary file in the target's directory: unnamed where the
// system can, else named and listed for removal on a stopping signal.
int open_temporary(outfile *f)
{
    mode_t mask = umask(0);
    umask(mask);
    if (temporary_kind == OUTFILE_UNNAMED) {
        f->fd = open(f->dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (f->fd >= 0) {
            // Libraries reach the unnamed file through /proc; without it
            // the file could neither be opened again nor linked in.
            f->data_path = "/proc/self/fd/" + std::to_string(f->fd);
            if (access(f->data_path.c_str(), W_OK) == 0)
                return 0;
            close(f->fd);
            f->fd = -1;
        } else if (errno == ENOENT || errno == ENOTDIR || errno == EACCES || errno == EROFS ||
                   errno == ENOSPC || errno == EDQUOT || errno == EMFILE || errno == ENFILE) {
            return errno;
        }
        // otherwise the file system has no unnamed files: name one
    }
    signals_held held;
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string name = fresh_name(f->dir);
        f->fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666 & ~mask);
        if (f->fd >= 0) {
            remember(name);
            f->named = name;
            f->data_path = name;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// Why what lies at path may not be replaced: 0 for nothing or a regular
// file, EISDIR for a folder, EEXIST for anything else (a link, a FIFO).
int not_replaceable(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return 0;
    return S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
}

// Renames name over target when target is absent or a regular file: what
// was resolved when the output was made may have been turned into a link,
// a FIFO or a folder during the run, and a rename would replace it. Where
// the file system can, the names are exchanged atomically and what came
// out is looked at before it is removed, and put back when it is not a
// regular file; elsewhere the target is looked at just before the rename.
// Returns 0 with name gone, or an errno value with name removed as well,
// unless it could not be given back what it took (then it keeps that).
int put_in_place(const std::string &name, const std::string &target)
{
    int err = 0;
    if (renameat2(AT_FDCWD, name.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno == EEXIST &&
        renameat2(AT_FDCWD, name.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        err = not_replaceable(name);
        if (err && renameat2(AT_FDCWD, name.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) != 0)
            return err;
    } else if (errno == EEXIST || errno == EINVAL || errno == ENOSYS) {
        // no atomic exchange on this file system
        err = not_replaceable(target);
        if (!err && rename(name.c_str(), target.c_str()) != 0)
            err = errno;
    } else {
        err = errno;
    }
    unlink(name.c_str());
    return err;
}

// Gives the temporary file the name of the target, replacing it.
int move_into_place(outfile *f)
{
    signals_held held;
    std::string name = f->named;
    if (name.empty()) {
        // link the unnamed file under a fresh name, then rename that over
        // the target: a link cannot replace an existing file itself
        for (int attempt = 0;; attempt++) {
            name = fresh_name(f->dir);
            if (linkat(AT_FDCWD, f->data_path.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                break;
            if (errno != EEXIST || attempt == 100)
                return errno;
        }
    }
    int err = put_in_place(name, f->target);
    forget(name);
    f->named.clear();
    return err;
}

// Writes size bytes, at offset or, when offset is negative, where the
// descriptor stands, going on after signals. Returns the bytes written:
// fewer than size after a refused write, whose errno is left in errno and
// remembered, when it is the first, for outfile_commit.
size_t write_fully(outfile *f, const char *data, size_t size, int64_t offset)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = offset < 0 ? write(f->fd, data + done, size - done)
                               : pwrite(f->fd, data + done, size - done, off_t(offset) + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (!f->write_error)
                f->write_error = n < 0 ? errno : EIO;
            errno = f->write_error;
            break;
        }
        done += size_t(n);
    }
    return done;
}

ssize_t stream_write(void *cookie, const char *data, size_t size)
{
    size_t done = write_fully(static_cast<outfile *>(cookie), data, size, -1);
    return done > 0 || size == 0 ? ssize_t(done) : -1;
}

int stream_close(void *)
{
    return 0; // the descriptor belongs to the outfile
}

// Flushes and closes the stream, if one was made. Returns the first write
// refused, through the stream or outfile_write_at, else the stream's error.
int close_stream(outfile *f)
{
    int rc = 0;
    if (f->stream) {
        rc = fclose(f->stream);
        f->stream = nullptr;
    }
    if (f->write_error)
        return f->write_error;
    return rc == 0 ? 0 : errno ? errno : EIO;
}

void discard(outfile *f)
{
    if (f->stream) {
        fclose(f->stream);
        f->stream = nullptr;
    }
    if (f->fd >= 0)
        close(f->fd);
    f->fd = -1;
    if (!f->named.empty()) {
        signals_held held;
        unlink(f->named.c_str());
        forget(f->named);
        f->named.clear();
    }
}

} // namespace

outfile *outfile_new(const char *path, outfile_access access, std::string *why)
{
    outfile *f = new (std::nothrow) outfile;
    if (!f) {
        errno = ENOMEM;
        if (why)
            *why = strerror(errno);
        return nullptr;
    }
    target_kind kind;
    std::string reason;
    int err = resolve(path, &f->target, &kind, &reason);
    if (!err && kind == TARGET_THROUGH) {
        struct stat st;
        if (stat(f->target.c_str(), &st) == 0)
            err = may_write(f->target, st, &reason);
        if (!err)
            err = open_through(f, access);
    } else if (!err) {
        f->temporary = true;
        f->dir = directory_of(f->target);
        if (stat(f->target.c_str(), &f->old) == 0) {
            f->existed = true;
            if (faccessat(AT_FDCWD, f->target.c_str(), W_OK, AT_EACCESS) != 0)
                err = errno;
            else
                err = may_write(f->target, f->old, &reason);
        }
        if (!err)
            err = open_temporary(f);
    }
    if (err) {
        outfile_delete(f);
        if (why)
            *why = reason.empty() ? strerror(err) : reason;
        errno = err;
        return nullptr;
    }
    return f;
}

const char *outfile_data_path(const outfile *f)
{
    return f->data_path.c_str();
}

bool outfile_is_temporary(const outfile *f)
{
    return f->temporary;
}

FILE *outfile_stream(outfile *f)
{
    if (!f->stream) {
        cookie_io_functions_t io = {};
        io.write = stream_write;
        io.close = stream_close;
        f->stream = fopencookie(f, "w", io);
    }
    return f->stream;
}

int outfile_write_at(outfile *f, const void *data, size_t size, uint64_t offset)
{
    return write_fully(f, static_cast<const char *>(data), size, int64_t(offset)) == size ? 0 : -1;
}

int outfile_commit(outfile *f)
{
    f->done = true;
    int err = close_stream(f);
    if (!err && f->temporary) {
        if (f->existed) {
            // the owner first: a change of owner clears set-user-ID bits
            if (fchown(f->fd, f->old.st_uid, f->old.st_gid) != 0 && fchown(f->fd, uid_t(-1), f->old.st_gid) != 0) {
                // not ours to give away: the new file stays ours
            }
            if (fchmod(f->fd, f->old.st_mode & 07777) != 0)
                err = errno;
        }
        // The data reaches the disk before the rename when the file
        // replaces one, so that even a power failure right after it leaves
        // the earlier file or this one, never an empty name where the
        // earlier file was. A new file replaces nothing: the system writes
        // it out in its own time, as cp and sed -i leave theirs, and a run
        // does not wait on the disk for it. The folder is not synced: its
        // rename being lost to a power failure leaves the earlier file.
        if (!err && f->existed && fsync(f->fd) != 0)
            err = errno;
        if (!err)
            err = move_into_place(f);
    }
    if (f->fd >= 0 && close(f->fd) != 0 && !err && !f->temporary)
        err = errno; // a device's last write can fail at its close
    f->fd = -1;
    if (err) {
        discard(f);
        errno = err;
        return -1;
    }
    return 0;
}

void outfile_delete(outfile *f)
{
    if (!f)
        return;
    discard(f);
    delete f;
}

void outfile_select(outfile_temporary kind)
{
    temporary_kind = kind;
}
