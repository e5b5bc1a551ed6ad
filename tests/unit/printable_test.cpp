// Names from files as messages print them: bytes that could drive a
// terminal shown as \xNN, readable names in any language kept.
#include <gtest/gtest.h>

#include "printable.h"

TEST(Printable, EscapesWhatDrivesATerminalAndKeepsReadableNames)
{
    const struct {
        const char *what;
        std::string name, shown;
    } cases[] = {
        {"window title", "\x1b]0;pwned\x07", "\\x1b]0;pwned\\x07"},
        {"clear screen", "a\x1b[2Jb", "a\\x1b[2Jb"},
        {"NUL inside", std::string("R\0G", 3), "R\\x00G"},
        {"carriage return", "R\rG", "R\\x0dG"},
        {"DEL", "R\x7f", "R\\x7f"},
        {"lone C1 byte (CSI)", "\x9b" "2J", "\\x9b2J"},
        {"C1 control as UTF-8 (CSI)", "\xc2\x9b" "2J", "\\xc2\\x9b2J"},
        {"last C1 control as UTF-8", "\xc2\x9f", "\\xc2\\x9f"},
        {"first character after C1", "\xc2\xa0", "\xc2\xa0"},
        {"overlong ESC", "\xc0\x9b", "\\xc0\\x9b"},
        {"overlong slash in three bytes", "\xe0\x80\xaf", "\\xe0\\x80\\xaf"},
        {"surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"truncated at the end", "R\xe6\x97", "R\\xe6\\x97"},
        {"truncated before ASCII", "\xe6\x97G", "\\xe6\\x97G"},
        {"right-to-left override", "a\xe2\x80\xae" "b", "a\\xe2\\x80\\xaeb"},
        {"first isolate", "\xe2\x81\xa6", "\\xe2\\x81\\xa6"},
        {"right-to-left mark", "\xe2\x80\x8f", "\\xe2\\x80\\x8f"},
        {"accented name", "Sch\xc3\xb6ne.R", "Sch\xc3\xb6ne.R"},
        {"CJK name", "\xe6\x97\xa5\xe6\x9c\xac", "\xe6\x97\xa5\xe6\x9c\xac"},
        {"four-byte character", "\xf0\x9f\x8c\x85", "\xf0\x9f\x8c\x85"},
        {"backslash", "a\\x1b", "a\\\\x1b"},
        {"plain", "beauty.R", "beauty.R"},
        {"empty", "", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(printable(c.name), c.shown) << c.what;
}

TEST(Printable, KeepsTheUsersPathInALibrarysMessage)
{
    const std::string path = "/tmp/a\\b \xff.exr";
    EXPECT_EQ(printable_except("Cannot read \"" + path + "\": channel \"\x1b[2J\" in \"" + path + "\"", path),
              "Cannot read \"" + path + "\": channel \"\\x1b[2J\" in \"" + path + "\"");
    EXPECT_EQ(printable_except("no path \x07", path), "no path \\x07");
    EXPECT_EQ(printable_except("\x07", ""), "\\x07");
}
