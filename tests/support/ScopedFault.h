#pragma once

#include "platform/iokit/Notifications.h"

// While it lives, `call` answers `result` and does nothing else. One at a time.
class ScopedFault : public iokit::CallFaults {
  public:
    ScopedFault(iokit::FailingCall call, kern_return_t result) : call_(call), result_(result) {
        iokit::setCallFaults(this);
    }
    ~ScopedFault() override { iokit::setCallFaults(nullptr); }
    ScopedFault(const ScopedFault&) = delete;
    ScopedFault& operator=(const ScopedFault&) = delete;

    std::optional<kern_return_t> answerTo(iokit::FailingCall call) const override {
        return call == call_ ? std::optional(result_) : std::nullopt;
    }

  private:
    const iokit::FailingCall call_;
    const kern_return_t result_;
};
