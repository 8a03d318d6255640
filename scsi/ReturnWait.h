#pragma once

#include <chrono>

// How long the update waits for a drive that left while it installed (many
// drives restart on the bus to activate new firmware) to be attached again at
// the same place. Past it the drive's state is unknown to the updater.
//
// The limit is process-wide. An instance sets another one for as long as it
// lives and then puts the one before it back; create and destroy instances in
// reverse order.
class ReturnWait {
  public:
    static constexpr std::chrono::milliseconds kDefault = std::chrono::seconds(120);

    // From any thread.
    static std::chrono::milliseconds current();

    explicit ReturnWait(std::chrono::milliseconds limit);
    ~ReturnWait();
    ReturnWait(const ReturnWait&) = delete;
    ReturnWait& operator=(const ReturnWait&) = delete;

  private:
    std::chrono::milliseconds previous_;
};
