// printable: names and texts taken from files, made safe to print. A name in
// a file can hold bytes that drive the user's terminal (escape sequences, C1
// controls, bidirectional overrides); messages show those bytes as \xNN.
#ifndef PRINTABLE_H
#define PRINTABLE_H

#include <string>

// text with every byte that could drive a terminal shown as \x and two
// lowercase hex digits: the C0 controls 0x00 ... 0x1f, DEL 0x7f, bytes that
// are not part of valid UTF-8 (overlong, truncated or surrogate sequences
// included), and each byte of the UTF-8 form of a C1 control (U+0080 ...
// U+009F) or a bidirectional mark, embedding, override or isolate (U+061C,
// U+200E, U+200F, U+202A ... U+202E, U+2066 ... U+2069). A backslash is shown
// as \\, so that an escaped text never reads as a name that holds those
// characters. Every other valid UTF-8 character is kept as it is, so that
// names in any language stay readable.
[[nodiscard]] std::string printable(const std::string &text);

// printable(text), except that every occurrence of kept is left as it is:
// for a library's message that quotes the user's own path, which messages
// print as given.
[[nodiscard]] std::string printable_except(const std::string &text, const std::string &kept);

#endif
