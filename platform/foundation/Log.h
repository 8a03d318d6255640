#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace foundation {

// Where a line goes: errors and warnings to the system log, trace output
// straight to the standard streams.
enum class LogChannel { Error, Warning, StandardError, StandardOutput };

// printf-style formatting into a std::string; the messages of the updater are
// printf formats, kept letter for letter.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

class Log {
  public:
    using Sink = std::function<void(LogChannel, std::string_view)>;

    // "%s(%d) [ERR] %@": the reporter's signature, the source line of the
    // report (the caller's, unless given) and the message.
    static void error(std::string_view signature, std::string_view message,
                      int line = __builtin_LINE());
    // "%s(%d) [WAR] %@".
    static void warning(std::string_view signature, std::string_view message,
                        int line = __builtin_LINE());

    // Trace output, written as given with one write each.
    static void toStandardError(std::string_view text);
    static void toStandardOutput(std::string_view text);

    // Replaces where lines go; an empty sink restores syslog and the streams.
    static void setSink(Sink sink);
    // Whether trace output reaches the standard streams (it does until told
    // otherwise); errors and warnings, and what a sink takes, are not affected.
    static void setTraceShown(bool shown);
};

} // namespace foundation
