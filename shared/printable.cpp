// Escaping for names and texts taken from files: a strict UTF-8 decoder
// that keeps printable characters and shows everything else byte by byte.
#include "printable.h"

#include <cstddef>
#include <cstdint>

namespace {

// The length of the valid UTF-8 sequence at s[at] and its code point, or 0
// when the bytes there are not one (a continuation byte, an overlong form,
// a surrogate, beyond U+10FFFF, or cut short).
size_t utf8_length(const std::string &s, size_t at, uint32_t *code)
{
    const unsigned char b = static_cast<unsigned char>(s[at]);
    size_t n;
    uint32_t c, min;
    if (b < 0x80)
        n = 1, c = b, min = 0;
    else if (b >= 0xc2 && b <= 0xdf)
        n = 2, c = b & 0x1f, min = 0x80;
    else if (b >= 0xe0 && b <= 0xef)
        n = 3, c = b & 0x0f, min = 0x800;
    else if (b >= 0xf0 && b <= 0xf4)
        n = 4, c = b & 0x07, min = 0x10000;
    else
        return 0;
    if (s.size() - at < n)
        return 0;
    for (size_t i = 1; i < n; i++) {
        const unsigned char t = static_cast<unsigned char>(s[at + i]);
        if ((t & 0xc0) != 0x80)
            return 0;
        c = c << 6 | (t & 0x3f);
    }
    if (c < min || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff))
        return 0;
    *code = c;
    return n;
}

// Whether a terminal or a text renderer obeys code point c rather than
// showing it: controls, and the marks and overrides that reorder the text
// around them.
bool drives_terminal(uint32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x061c || c == 0x200e || c == 0x200f ||
           (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

void append_escaped(std::string *out, unsigned char b)
{
    static const char hex[] = "0123456789abcdef";
    *out += "\\x";
    *out += hex[b >> 4];
    *out += hex[b & 0xf];
}

} // namespace

std::string printable(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        uint32_t c = 0;
        size_t n = utf8_length(text, at, &c);
        if (n == 0) {
            append_escaped(&out, static_cast<unsigned char>(text[at]));
            at++;
        } else if (drives_terminal(c)) {
            for (size_t i = 0; i < n; i++)
                append_escaped(&out, static_cast<unsigned char>(text[at + i]));
            at += n;
        } else {
            if (c == '\\')
                out += '\\';
            out.append(text, at, n);
            at += n;
        }
    }
    return out;
}

std::string printable_except(const std::string &text, const std::string &kept)
{
    if (kept.empty())
        return printable(text);
    std::string out;
    size_t from = 0;
    for (size_t at; (at = text.find(kept, from)) != std::string::npos; from = at + kept.size())
        out += printable(text.substr(from, at - from)) + kept;
    return out + printable(text.substr(from));
}
