#pragma once

#include "platform/foundation/Log.h"

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Collects every log and trace line while it lives, from any thread; lines
// go to the system log and the streams again when it goes.
class LogCapture {
  public:
    struct Line {
        foundation::LogChannel channel;
        std::string text;
    };

    LogCapture() {
        foundation::Log::setSink([this](foundation::LogChannel channel, std::string_view text) {
            std::lock_guard lock(mutex_);
            lines_.push_back({channel, std::string(text)});
        });
    }
    ~LogCapture() { foundation::Log::setSink({}); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Line> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    // Everything written on one channel, concatenated in order.
    std::string text(foundation::LogChannel channel) const {
        std::string all;
        for (const Line& line : lines()) {
            if (line.channel == channel) {
                all += line.text;
            }
        }
        return all;
    }
    std::string standardError() const { return text(foundation::LogChannel::StandardError); }
    std::string standardOutput() const { return text(foundation::LogChannel::StandardOutput); }
    // The system log lines (errors, warnings and notices) in order.
    std::vector<std::string> systemLog() const {
        std::vector<std::string> found;
        for (const Line& line : lines()) {
            if (line.channel == foundation::LogChannel::Error ||
                line.channel == foundation::LogChannel::Warning ||
                line.channel == foundation::LogChannel::Notice) {
                found.push_back(line.text);
            }
        }
        return found;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
};
