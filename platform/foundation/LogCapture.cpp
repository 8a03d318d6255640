#include "platform/foundation/LogCapture.h"

namespace foundation {

LogCapture::LogCapture() {
    Log::setSink([this](LogChannel channel, std::string_view text) {
        std::lock_guard lock(mutex_);
        lines_.push_back({channel, std::string(text)});
    });
}

LogCapture::~LogCapture() {
    Log::setSink({});
}

std::vector<LogCapture::Line> LogCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::string LogCapture::text(LogChannel channel) const {
    std::lock_guard lock(mutex_);
    std::string all;
    for (const auto& line : lines_) {
        if (line.channel == channel) {
            all += line.text;
        }
    }
    return all;
}

std::vector<std::string> LogCapture::systemLog() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> found;
    for (const auto& line : lines_) {
        if (line.channel == LogChannel::Error || line.channel == LogChannel::Warning) {
            found.push_back(line.text);
        }
    }
    return found;
}

void LogCapture::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

} // namespace foundation
