#pragma once

#include "platform/iokit/IOKitTypes.h"

#include <atomic>
#include <optional>

// Answers given in place of the notification set-up calls, so that their
// callers' failure paths can run. A call with an answer does nothing else; an
// IOMasterPort answered with success gives no port. None are installed unless
// a test installs them.

namespace iokit {

enum class FailingCall { MasterPort, FirstMatchNotification, TerminatedNotification };

class CallFaults {
  public:
    virtual ~CallFaults() = default;
    virtual std::optional<kern_return_t> answerTo(FailingCall call) const = 0;

    // The installed faults' answer to `call`; none when none are installed.
    static std::optional<kern_return_t> installedAnswerTo(FailingCall call) {
        const CallFaults* faults = installed_.load();
        return faults != nullptr ? faults->answerTo(call) : std::nullopt;
    }

  private:
    // Installs and removes them (tests/support/ScopedFault.h).
    friend class ScopedFault;
    static inline std::atomic<const CallFaults*> installed_ = nullptr;
};

} // namespace iokit
