#pragma once

#include <chrono>

// How long the update keeps polling a drive that reports the same progress,
// poll after poll, while it installs: a drive that never becomes ready would
// otherwise keep the update, and the window, waiting for ever.
//
// The limit is process-wide. An instance sets another one for as long as it
// lives and then puts the one before it back; create and destroy instances in
// reverse order.
class BusyLimit {
  public:
    static constexpr std::chrono::milliseconds kDefault = std::chrono::minutes(10);

    // From any thread.
    static std::chrono::milliseconds current();

    explicit BusyLimit(std::chrono::milliseconds limit);
    ~BusyLimit();
    BusyLimit(const BusyLimit&) = delete;
    BusyLimit& operator=(const BusyLimit&) = delete;

  private:
    std::chrono::milliseconds previous_;
};
