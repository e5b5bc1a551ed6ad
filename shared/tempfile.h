// Temporary files beside an output's target, so that a target is replaced
// only by a complete file: write to tempfile_create's path, then
// tempfile_commit it over the target, or tempfile_discard it. Files pending
// commit are removed if the program is stopped by SIGINT, SIGTERM or SIGHUP.
#ifndef TEMPFILE_H
#define TEMPFILE_H

#include <cstdio>
#include <string>

// Creates an empty file in target's directory with the permissions a new
// file there would get. Returns its path, or an empty string with errno set
// (EISDIR when the target is a directory).
[[nodiscard]] std::string tempfile_create(const char *target);

// Renames tmp over target. Returns 0, or -1 with errno set (tmp is then
// removed).
[[nodiscard]] int tempfile_commit(const std::string &tmp, const char *target);

// Removes tmp.
void tempfile_discard(const std::string &tmp);

// For outputs written through stdio: flushes and closes the stream open on
// tmp, then commits tmp over target. Returns 0, or -1 with errno set when a
// write, the close or the rename failed (tmp is then removed). Clear errno
// before writing, so that a write refused earlier is reported with its
// reason rather than EIO.
[[nodiscard]] int tempfile_close_commit(FILE *stream, const std::string &tmp, const char *target);

#endif
