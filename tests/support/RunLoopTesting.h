#pragma once

#include "platform/foundation/RunLoop.h"

#include <QCoreApplication>
#include <array>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <thread>

// Run loops need a QCoreApplication. It exists while the tests run, and only
// then, so that listing them needs none; including this header in a test
// program is all it takes.
class CoreApplicationEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        application_ = std::make_unique<QCoreApplication>(argc_, argv_.data());
    }
    void TearDown() override { application_.reset(); }

  private:
    inline static char programName_[] = "quelmar_tests";
    int argc_ = 1;
    std::array<char*, 2> argv_{programName_, nullptr};
    std::unique_ptr<QCoreApplication> application_;
};

// GoogleTest owns the environment.
inline testing::Environment* const coreApplicationEnvironment =
    testing::AddGlobalTestEnvironment(std::make_unique<CoreApplicationEnvironment>().release());

inline constexpr auto kPatience = std::chrono::seconds(10);

// Whether the condition comes true within a generous while, checked from time
// to time; nothing here measures how long it took.
inline bool eventually(const std::function<bool()>& condition) {
    const auto giveUp = std::chrono::steady_clock::now() + kPatience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The same, running the calling thread's run loop meanwhile.
inline bool runLoopUntil(const std::function<bool()>& condition) {
    const auto giveUp = std::chrono::steady_clock::now() + kPatience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        foundation::RunLoop::current().runUntilDate(std::chrono::steady_clock::now() +
                                                    std::chrono::milliseconds(5));
    }
    return true;
}

// A thread that runs `body`, which normally ends by running its run loop.
// Going stops that loop and joins the thread; a stop never reaches a loop
// whose thread has ended.
class RunLoopThread {
  public:
    explicit RunLoopThread(std::function<void()> body)
        : thread_([this, body = std::move(body)] {
              {
                  std::lock_guard lock(mutex_);
                  loop_ = &foundation::RunLoop::current();
                  if (stopping_) {
                      loop_->stop();
                  }
              }
              body();
              std::lock_guard lock(mutex_);
              loop_ = nullptr;
          }) {}

    ~RunLoopThread() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            if (loop_ != nullptr) {
                loop_->stop();
            }
        }
        thread_.join();
    }

    RunLoopThread(const RunLoopThread&) = delete;
    RunLoopThread& operator=(const RunLoopThread&) = delete;

    std::thread::id id() const { return thread_.get_id(); }

  private:
    std::mutex mutex_;
    foundation::RunLoop* loop_ = nullptr;
    bool stopping_ = false;
    std::thread thread_;
};
