#include "app/TerminalText.h"

#include <gtest/gtest.h>
#include <string>

TEST(TerminalText, ShowsControlCharactersAndBackslashesEscapedAndKeepsUtf8) {
    using namespace std::string_literals;
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"QUELMAR  1.02", "QUELMAR  1.02"},
        {"\x1b]0;owned\a", R"(\x1b]0;owned\x07)"},
        {"\x1b[8mhidden", R"(\x1b[8mhidden)"},
        {"A\r\nB\tC", R"(A\x0d\x0aB\x09C)"},
        {"a\0b"s, R"(a\x00b)"},
        {"\x7f\x1f ~", R"(\x7f\x1f ~)"},
        {R"(C:\x1b)", R"(C:\\x1b)"},
        // C1 as a byte of no UTF-8 sequence, and as a code point in UTF-8.
        {"x\x9b[1m", R"(x\x9b[1m)"},
        {"\x80\x9f", R"(\x80\x9f)"},
        {"\xc2\x9b[1m", R"(\xc2\x9b[1m)"},
        {"\xc2\x85", R"(\xc2\x85)"},
        // Valid UTF-8 stays, even where a byte of it looks like C1.
        {"/media/J\xc3\x9cRGEN", "/media/J\xc3\x9cRGEN"},
        {"\xc2\xa0\xe2\x82\xac \xf0\x9f\x92\xbf", "\xc2\xa0\xe2\x82\xac \xf0\x9f\x92\xbf"},
        // Broken or overlong sequences: their bytes in the C1 range are escaped.
        {"\xe2\x80", "\xe2\\x80"},
        {"\xc0\x9b", "\xc0\\x9b"},
        {"\xed\xa0\x80", "\xed\xa0\\x80"},
        // Latin-1 outside C1 is left to the terminal's character set.
        {"caf\xe9", "caf\xe9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(printableOnTerminal(c.text), c.shown) << testing::PrintToString(c.text);
    }
}
