#pragma once

#include <array>
#include <csignal>
#include <optional>
#include <string_view>
#include <thread>

namespace foundation {

// Holds off the signals that ask a process to stop (SIGINT, SIGTERM, SIGHUP)
// while it lives, for work that must not be cut short. Each one that arrives
// meanwhile is answered at once with `notice` on standard error; the first is
// raised again when the hold ends, under the disposition it had before, so a
// default one ends the process then. A signal the process ignores stays
// ignored.
//
// The thread that makes the hold does not receive these signals while it
// lasts, so none of its system calls is interrupted (an interrupted command
// to a drive could be sent twice or reported failed after it was carried
// out); another thread takes them, and the hold keeps one of its own open to
// them. One hold at a time.
class HeldSignals {
  public:
    explicit HeldSignals(std::string_view notice);
    ~HeldSignals();
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

  private:
    static constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};

    sigset_t previousMask_{};
    std::array<std::optional<struct sigaction>, kSignals.size()> previous_;
    // Idles with the signals open, so that a process-directed one always
    // finds a thread that takes it.
    std::jthread receiver_;
};

} // namespace foundation
