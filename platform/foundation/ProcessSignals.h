#pragma once

#include <array>
#include <csignal>
#include <functional>
#include <optional>
#include <string_view>
#include <thread>

namespace foundation {

// The signals that ask the process to end or to pause. None of them is ever
// delivered to a thread of this process: from the start they are blocked in
// every thread and read by one waiter thread instead. A signal delivered to a
// thread that waits for a drive's command would wake that wait, and the
// command, already sent, would be sent a second time or reported failed after
// the drive carried it out.
//
// The waiter hands each signal to the front end's action, unless a
// HeldSignals hold lasts: then the signal is noted and takes effect when the
// hold ends. SIGSTOP cannot be blocked: it still stops the process at once.
class ProcessSignals {
  public:
    // What a signal means to the front end when nothing holds it. Runs on the
    // waiter thread, or on the thread that ends a hold.
    using Action = std::function<void(int signal)>;

    static constexpr std::array<int, 7> kSignals{SIGINT,  SIGTERM, SIGHUP, SIGQUIT,
                                                 SIGTSTP, SIGTTIN, SIGTTOU};

    // Blocks the signals in the calling thread, which every thread started
    // later inherits, and ignores SIGPIPE, so that a closed pipe or terminal
    // makes a write fail instead of ending the process. Call it first thing
    // in main, before any thread starts.
    static void blockAtStart();

    // Starts the waiter. One at a time. Without an action, every signal takes
    // its default action.
    explicit ProcessSignals(Action action = {});
    ~ProcessSignals();
    ProcessSignals(const ProcessSignals&) = delete;
    ProcessSignals& operator=(const ProcessSignals&) = delete;

    // Replaces the action; an empty one restores the default actions.
    void setAction(Action action);

    // Ends the process, or stops it until SIGCONT, as the signal would have
    // done had it not been blocked.
    static void takeDefaultAction(int signal);
    static bool stopsTheProcess(int signal);

  private:
    friend class HeldSignals;
    static void beginHold(std::string_view notice);
    static std::optional<int> heldSignal();
    // Ends the hold and hands its signal, if any, to the action.
    static void endHold();

    std::jthread waiter_;
};

} // namespace foundation
