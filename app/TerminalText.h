#pragma once

#include <string>
#include <string_view>

// A text that comes from a drive, a disc or the file system (a vendor name, a
// revision, a volume label, a mount point, a device node), made safe to write
// to a terminal: such a text may hold escape sequences that would retitle,
// blank or rewrite the terminal, or line breaks that would forge lines of
// output. Control characters are shown as \xHH, byte by byte: C0 and DEL;
// C1 as a single byte that is not part of valid UTF-8, and as the code points
// U+0080 to U+009F in UTF-8. A backslash is shown as \\, so that an escape
// cannot be mistaken for the text. Everything else, valid UTF-8 included,
// stays as it is.
std::string printableOnTerminal(std::string_view text);
