#include "platform/foundation/Localized.h"

#include "platform/foundation/Bundle.h"

#include <cstdarg>
#include <cstdio>
#include <set>

namespace foundation {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The number written at `at`, moving past it; none when there is none.
std::optional<unsigned> numberAt(std::string_view text, std::size_t& at) {
    if (at >= text.size() || !isDigit(text[at])) {
        return std::nullopt;
    }
    unsigned number = 0;
    while (at < text.size() && isDigit(text[at])) {
        number = number * 10 + static_cast<unsigned>(text[at++] - '0');
        if (number > 100) {
            return std::nullopt;
        }
    }
    return number;
}

// Qt's markers in a text: "%1" to "%99".
std::multiset<unsigned> qtMarkers(std::string_view text) {
    std::multiset<unsigned> markers;
    for (std::size_t at = text.find('%'); at != std::string_view::npos; at = text.find('%', at)) {
        ++at;
        if (const auto number = numberAt(text, at); number && *number >= 1 && *number <= 99) {
            markers.insert(*number);
        }
    }
    return markers;
}

} // namespace

std::optional<std::vector<std::string>> printfArguments(std::string_view format) {
    constexpr std::string_view kFlags = "-+ #0'";
    constexpr std::string_view kLengths = "hlLqjzt";
    constexpr std::string_view kConversions = "diouxXeEfFgGaAcsp";
    std::vector<std::optional<std::string>> byNumber;
    std::vector<std::string> inOrder;
    std::optional<bool> positional;
    for (std::size_t at = format.find('%'); at != std::string_view::npos;
         at = format.find('%', at)) {
        ++at;
        if (at < format.size() && format[at] == '%') {
            ++at;
            continue;
        }
        // An argument number is digits followed by '$'; digits alone are a width.
        std::optional<unsigned> number;
        if (std::size_t after = at; const auto digits = numberAt(format, after)) {
            if (after < format.size() && format[after] == '$') {
                if (*digits == 0) {
                    return std::nullopt;
                }
                number = digits;
                at = after + 1;
            }
        }
        if (positional && *positional != number.has_value()) {
            return std::nullopt;
        }
        positional = number.has_value();
        while (at < format.size() && kFlags.find(format[at]) != std::string_view::npos) {
            ++at;
        }
        numberAt(format, at);
        if (at < format.size() && format[at] == '.') {
            ++at;
            numberAt(format, at);
        }
        std::string argument;
        while (at < format.size() && kLengths.find(format[at]) != std::string_view::npos &&
               argument.size() < 2) {
            argument += format[at++];
        }
        if (at >= format.size() || kConversions.find(format[at]) == std::string_view::npos) {
            return std::nullopt;
        }
        argument += format[at] == 'i' ? 'd' : format[at];
        ++at;
        if (!number) {
            inOrder.push_back(std::move(argument));
            continue;
        }
        if (byNumber.size() < *number) {
            byNumber.resize(*number);
        }
        auto& slot = byNumber[*number - 1];
        if (slot && *slot != argument) {
            return std::nullopt;
        }
        slot = std::move(argument);
    }
    for (auto& slot : byNumber) {
        if (!slot) {
            return std::nullopt;
        }
        inOrder.push_back(std::move(*slot));
    }
    return inOrder;
}

bool takesSameArguments(std::string_view english, std::string_view translation) {
    if (const auto expected = printfArguments(english)) {
        return printfArguments(translation) == expected;
    }
    return qtMarkers(english) == qtMarkers(translation);
}

std::string localized(const std::string& english) {
    return Bundle::mainBundle().localizedStringForKey(english);
}

std::string localizedFormat(const char* english, ...) {
    const std::string translation = localized(english);
    const char* format = takesSameArguments(english, translation) ? translation.c_str() : english;
    va_list args;
    va_start(args, english);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (size > 0) {
        text.resize(static_cast<std::size_t>(size) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(size));
    }
    va_end(again);
    return text;
}

} // namespace foundation
