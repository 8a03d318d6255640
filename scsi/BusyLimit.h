#pragma once

#include <chrono>

// How long the update keeps polling a drive whose progress does not move
// while it installs, counted from its last change: the drive reports the same
// number poll after poll, or no number at all (it does not answer, or reports
// a reset). A drive that never becomes ready would otherwise keep the update,
// and the window, waiting for ever.
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
