#pragma once

#include "platform/foundation/Log.h"

#include <mutex>
#include <string>
#include <vector>

namespace foundation {

// Collects every log and trace line while it lives, from any thread; lines
// go to the system log and the streams again when it goes.
class LogCapture {
  public:
    struct Line {
        LogChannel channel;
        std::string text;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Line> lines() const;
    // Everything written on one channel, concatenated in order.
    std::string text(LogChannel channel) const;
    std::string standardError() const { return text(LogChannel::StandardError); }
    std::string standardOutput() const { return text(LogChannel::StandardOutput); }
    // The system log lines (errors and warnings) in order.
    std::vector<std::string> systemLog() const;
    void clear();

  private:
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
};

} // namespace foundation
