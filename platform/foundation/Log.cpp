#include "platform/foundation/Log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <syslog.h>
#include <vector>

namespace foundation {
namespace {

std::mutex sinkMutex;
Log::Sink currentSink;
std::atomic<bool> traceShown = true;
std::atomic<bool> traceLost = false;

void writeAll(std::FILE* stream, std::string_view text) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    if (std::fflush(stream) != 0 || !written) {
        traceLost = true;
        // What could not be written is dropped, so that later lines are not
        // lost behind it.
        std::clearerr(stream);
    }
}

void systemLog(int priority, std::string_view line) {
    static std::once_flag opened;
    std::call_once(opened, [] { openlog("QuelmarDriveUpdater", LOG_PID, LOG_USER); });
    syslog(priority, "%.*s", static_cast<int>(line.size()), line.data());
}

void emit(LogChannel channel, std::string_view text) {
    Log::Sink sink;
    {
        std::lock_guard lock(sinkMutex);
        sink = currentSink;
    }
    if (sink) {
        sink(channel, text);
        return;
    }
    switch (channel) {
    case LogChannel::Error:
        systemLog(LOG_ERR, text);
        break;
    case LogChannel::Warning:
        systemLog(LOG_WARNING, text);
        break;
    case LogChannel::Notice:
        systemLog(LOG_NOTICE, text);
        break;
    case LogChannel::StandardError:
        if (traceShown) {
            writeAll(stderr, text);
        }
        break;
    case LogChannel::StandardOutput:
        if (traceShown) {
            writeAll(stdout, text);
        }
        break;
    }
}

std::string logLine(std::string_view signature, int line, std::string_view level,
                    std::string_view message) {
    std::string text(signature);
    text += "(" + std::to_string(line) + ") [";
    text += level;
    text += "] ";
    text += message;
    return text;
}

} // namespace

std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string text;
    if (size > 0) {
        std::vector<char> buffer(static_cast<size_t>(size) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), fmt, again);
        text.assign(buffer.data(), static_cast<size_t>(size));
    }
    va_end(again);
    return text;
}

void Log::error(std::string_view signature, std::string_view message, int line) {
    emit(LogChannel::Error, logLine(signature, line, "ERR", message));
}

void Log::warning(std::string_view signature, std::string_view message, int line) {
    emit(LogChannel::Warning, logLine(signature, line, "WAR", message));
}

void Log::notice(std::string_view message) {
    emit(LogChannel::Notice, message);
}

void Log::toStandardError(std::string_view text) {
    emit(LogChannel::StandardError, text);
}

void Log::toStandardOutput(std::string_view text) {
    emit(LogChannel::StandardOutput, text);
}

void Log::setSink(Sink sink) {
    std::lock_guard lock(sinkMutex);
    currentSink = std::move(sink);
}

void Log::setTraceShown(bool shown) {
    traceShown = shown;
}

bool Log::traceOutputLost() {
    return traceLost;
}

} // namespace foundation
