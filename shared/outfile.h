// outfile: how every output of the suite reaches its target, whatever the
// target is. The EXR, PNG and text writers all open their file here.
//
// - No target, or a regular file: the data goes to a temporary file in the
//   target's directory, which outfile_commit flushes and renames over
//   the target; until then the target is untouched, so a failed or stopped
//   run changes nothing. A file that replaces another is synced to disk
//   before the rename, so a power failure too leaves one of the two whole;
//   a new file is left to the system to write out, as cp leaves its copies. The temporary file has no name where the system
//   allows it (Linux O_TMPFILE), so even SIGKILL leaves nothing behind;
//   otherwise it is a short hidden name removed on every stopping signal.
//   An existing target's permission bits, owner and group (where the process
//   may set them) are carried over; a target that a plain open for writing
//   would refuse (read-only for this user) is refused the same way. A target
//   with several hard links is replaced as a whole: the other links keep the
//   old contents.
// - A symbolic link: followed to the end of its chain; the file it names is
//   the one replaced (its temporary file beside it) and the links stay. A
//   dangling link creates the file it names. In a folder that is sticky and
//   writable by all (/tmp), a link is followed only when it belongs to the
//   user or to the folder's owner, as the kernel follows links there;
//   another user's link is refused, so nobody can plant a link to a file of
//   ours and have a run replace it. Every link of a chain is checked.
//   Another user's file or FIFO in such a folder is not written (even by
//   root), as the kernel opens none there, so that nobody can catch what a
//   run writes in a file or FIFO put there beforehand.
// - Anything else (a character or block device, a FIFO, a socket, or
//   /dev/stdout and /dev/fd/N, which name an open stream): written through
//   the path as a plain open would, with no temporary file, so /dev/null
//   discards and a FIFO receives the stream. Such a node is never replaced
//   or removed.
#ifndef OUTFILE_H
#define OUTFILE_H

#include <cstdint>
#include <cstdio>
#include <string>

struct outfile;

// What the writer needs of its file: PNG and text are written in order, an
// EXR image seeks back to complete its offset table.
enum outfile_access { OUTFILE_SEQUENTIAL, OUTFILE_SEEKABLE };

// Opens the output for path. Returns null with errno set when it cannot be
// created: ENOENT for an empty path or a missing directory, EISDIR for a
// directory, EACCES or EROFS where a plain open would refuse (EACCES also
// for another user's link, file or FIFO in a shared folder), EPERM for a
// file in a sticky folder that the user may not replace, ESPIPE when
// OUTFILE_SEEKABLE is asked of a target that cannot seek (a FIFO, a pipe,
// a terminal).
// When why is given it receives the reason in words: the system's text for
// errno, followed for the refusals in sticky folders by what was refused
// and why.
// Nothing is left behind on failure.
[[nodiscard]] outfile *outfile_new(const char *path, outfile_access access,
                                   std::string *why = nullptr);

// The path by which a library opens the data being written, for writing
// and for reading it back before the commit: /proc/self/fd/N for an unnamed
// temporary file, the temporary file's name, or the target itself.
const char *outfile_data_path(const outfile *f);

// Whether the data goes to a temporary file (that can be read back), rather
// than through to a device or stream.
bool outfile_is_temporary(const outfile *f);

// A stdio stream on the file, made by the first call and owned by f. The
// first write it refuses is remembered for outfile_commit. Null with errno
// set when it cannot be made.
FILE *outfile_stream(outfile *f);

// Writes size bytes at offset, for a writer that seeks back (an EXR image
// completes its offset table last). Returns 0, or -1 with errno set; the
// first refused write is remembered for outfile_commit.
[[nodiscard]] int outfile_write_at(outfile *f, const void *data, size_t size, uint64_t offset);

// Completes the output: flushes the stream and renames the temporary file
// over the target, after syncing its data to disk when it replaces a file
// (or closes the device or stream). The rename replaces only a regular
// file: a target that became a link, a FIFO or a folder during the run
// fails the commit (EEXIST, or EISDIR for a folder) and is left as it is.
// Returns 0, or -1 with errno set (the reason of the first refused write,
// if one was); the temporary file is then gone and the target as it was.
// Commit at most once.
[[nodiscard]] int outfile_commit(outfile *f);

// Closes f, discarding the temporary file unless it was committed; null is
// allowed.
void outfile_delete(outfile *f);

// Which kind of temporary file outfile_new makes: unnamed where the system
// offers it (the default), or always named, so that tests can exercise the
// named path and its removal on signals on any system.
enum outfile_temporary { OUTFILE_UNNAMED, OUTFILE_NAMED };
void outfile_select(outfile_temporary kind);

#endif
