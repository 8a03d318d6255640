#pragma once

#include <chrono>

// The shortest time from one install poll to the next. A drive answers TEST
// UNIT READY at once while it installs; polled back to back it would get tens
// of thousands of commands a second, and the trace a line for each.
//
// The interval is process-wide. An instance sets another one for as long as
// it lives and then puts the one before it back; create and destroy instances
// in reverse order.
class PollInterval {
  public:
    static constexpr std::chrono::milliseconds kDefault{100};

    // From any thread.
    static std::chrono::milliseconds current();

    explicit PollInterval(std::chrono::milliseconds interval);
    ~PollInterval();
    PollInterval(const PollInterval&) = delete;
    PollInterval& operator=(const PollInterval&) = delete;

  private:
    std::chrono::milliseconds previous_;
};
