#include "app/TerminalText.h"

#include <cstddef>
#include <cstdint>

namespace {

bool inRange(std::uint8_t byte, std::uint8_t low, std::uint8_t high) {
    return byte >= low && byte <= high;
}

// The length of the valid UTF-8 sequence that starts at `at`, or 0 when none
// does: no overlong forms, no surrogates, nothing above U+10FFFF.
std::size_t utf8SequenceAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t offset) {
        return static_cast<std::uint8_t>(text[at + offset]);
    };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    std::uint8_t secondLow = 0x80;
    std::uint8_t secondHigh = 0xbf;
    if (inRange(lead, 0xc2, 0xdf)) {
        length = 2;
    } else if (inRange(lead, 0xe0, 0xef)) {
        length = 3;
        secondLow = lead == 0xe0 ? 0xa0 : 0x80;
        secondHigh = lead == 0xed ? 0x9f : 0xbf;
    } else if (inRange(lead, 0xf0, 0xf4)) {
        length = 4;
        secondLow = lead == 0xf0 ? 0x90 : 0x80;
        secondHigh = lead == 0xf4 ? 0x8f : 0xbf;
    } else {
        return 0;
    }
    if (text.size() - at < length || !inRange(byte(1), secondLow, secondHigh)) {
        return 0;
    }
    for (std::size_t offset = 2; offset < length; ++offset) {
        if (!inRange(byte(offset), 0x80, 0xbf)) {
            return 0;
        }
    }
    return length;
}

void appendEscaped(std::string& out, std::uint8_t byte) {
    constexpr std::string_view digits = "0123456789abcdef";
    out += "\\x";
    out += digits[byte >> 4];
    out += digits[byte & 0x0f];
}

} // namespace

std::string printableOnTerminal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<std::uint8_t>(text[at]);
        if (byte == '\\') {
            out += "\\\\";
            ++at;
        } else if (byte < 0x20 || byte == 0x7f) {
            appendEscaped(out, byte);
            ++at;
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++at;
        } else if (const std::size_t length = utf8SequenceAt(text, at); length != 0) {
            const std::string_view sequence = text.substr(at, length);
            // U+0080 to U+009F, the C1 controls, are C2 80 to C2 9F.
            if (byte == 0xc2 && static_cast<std::uint8_t>(sequence[1]) <= 0x9f) {
                appendEscaped(out, byte);
                appendEscaped(out, static_cast<std::uint8_t>(sequence[1]));
            } else {
                out += sequence;
            }
            at += length;
        } else {
            // Not UTF-8: a byte a terminal may take for a C1 control is escaped,
            // any other is left to the terminal's own character set.
            if (byte <= 0x9f) {
                appendEscaped(out, byte);
            } else {
                out += static_cast<char>(byte);
            }
            ++at;
        }
    }
    return out;
}
