#pragma once

#include <atomic>
#include <chrono>

// A process-wide duration that the update reads, with a default. Set on the
// thread that starts the front end (or a test) and read by the update worker.
// An instance sets another value for as long as it lives and then puts the
// one before it back; create and destroy instances in reverse order. `Tag`
// makes each setting a type of its own.
template <typename Tag, std::chrono::milliseconds::rep kDefaultMilliseconds>
class ScopedDuration {
  public:
    static constexpr std::chrono::milliseconds kDefault{kDefaultMilliseconds};

    // From any thread.
    static std::chrono::milliseconds current() { return std::chrono::milliseconds(value_.load()); }

    explicit ScopedDuration(std::chrono::milliseconds value)
        : previous_(value_.exchange(value.count())) {}
    ~ScopedDuration() { value_ = previous_; }
    ScopedDuration(const ScopedDuration&) = delete;
    ScopedDuration& operator=(const ScopedDuration&) = delete;

  private:
    inline static std::atomic<std::chrono::milliseconds::rep> value_{kDefaultMilliseconds};
    std::chrono::milliseconds::rep previous_;
};
