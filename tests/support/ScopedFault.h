#pragma once

#include "platform/iokit/CallFaults.h"

namespace iokit {

// While it lives, `call` answers `result` and does nothing else. One at a time.
class ScopedFault : public CallFaults {
  public:
    ScopedFault(FailingCall call, kern_return_t result) : call_(call), result_(result) {
        installed_.store(this);
    }
    ~ScopedFault() override { installed_.store(nullptr); }
    ScopedFault(const ScopedFault&) = delete;
    ScopedFault& operator=(const ScopedFault&) = delete;

    std::optional<kern_return_t> answerTo(FailingCall call) const override {
        return call == call_ ? std::optional(result_) : std::nullopt;
    }

  private:
    const FailingCall call_;
    const kern_return_t result_;
};

} // namespace iokit
