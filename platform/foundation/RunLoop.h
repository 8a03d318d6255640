#pragma once

#include <chrono>
#include <functional>
#include <memory>

class QObject;

namespace foundation {

// The event loop of one thread, on a Qt event loop of that thread: on the main
// thread it is the loop the QCoreApplication runs, on any other thread (a
// std::thread included) the loop that run() enters. A QCoreApplication must
// exist. Except stop(), every member is called on the loop's own thread.
class RunLoop {
  public:
    using Callback = std::function<void()>;
    using Clock = std::chrono::steady_clock;

    // Something the loop does for a caller until the handle goes, which must
    // happen on the loop's thread.
    class Handle {
      public:
        Handle();
        ~Handle();
        Handle(Handle&& other) noexcept;
        Handle& operator=(Handle&& other) noexcept;

      private:
        friend class RunLoop;
        explicit Handle(std::unique_ptr<QObject> watcher);

        std::unique_ptr<QObject> watcher_;
    };
    // A descriptor the loop watches; the watch ends with the handle.
    using Source = Handle;
    // A call the loop makes once, later; it is cancelled with the handle.
    using DelayedCall = Handle;

    // The calling thread's loop, made on first use and gone with the thread.
    static RunLoop& current();

    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // Runs the loop until stop(). A stop that comes while the loop is not
    // running ends the next run() at once, so a stop is never lost to a race
    // with the start of run().
    void run();
    // From any thread.
    void stop();
    // Runs the loop until the date has passed.
    void runUntilDate(Clock::time_point date);

    // Calls `readable` on this loop's thread whenever the descriptor has data;
    // the callback reads it, or it is called again.
    [[nodiscard]] Source addSource(int descriptor, Callback readable);

    // Has the calling thread's loop call `work` once, after the delay, unless
    // the handle has gone by then.
    [[nodiscard]] static DelayedCall performAfterDelay(std::chrono::duration<double> delay,
                                                       Callback work);

  private:
    struct State;

    RunLoop();
    void assertOnLoopThread() const;

    std::unique_ptr<State> state_;
};

} // namespace foundation
