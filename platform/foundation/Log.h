#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace foundation {

// Where a line goes: errors and warnings to the system log, trace output
// straight to the standard streams.
// Notices record, without the error and warning tags, what the user should
// find in the log although nothing failed.
enum class LogChannel { Error, Warning, Notice, StandardError, StandardOutput };

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

    // A line of its own in the system log.
    static void notice(std::string_view message);

    // Trace output, written as given with one write each. A write that fails
    // (a closed pipe, a full disk) is dropped: output never stops the work it
    // reports on.
    static void toStandardError(std::string_view text);
    static void toStandardOutput(std::string_view text);

    // Replaces where lines go; an empty sink restores syslog and the streams.
    static void setSink(Sink sink);
    // Whether trace output reaches the standard streams (it does until told
    // otherwise); errors and warnings, and what a sink takes, are not affected.
    static void setTraceShown(bool shown);
    // Whether trace output has been lost to a failed write, since the start.
    static bool traceOutputLost();
};

} // namespace foundation
