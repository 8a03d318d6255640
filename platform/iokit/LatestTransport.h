#pragma once

#include "platform/iokit/PassThroughDevice.h"

#include <mutex>
#include <optional>

namespace iokit {

// How the latest task of one task device interface fared on its way to the
// device and back. The interface and its tasks share it: a task may outlive
// the interface that made it.
class LatestTransport {
  public:
    // None: the task was carried out, or it never reached the device.
    void note(std::optional<TransportFailure> failure) {
        const std::scoped_lock lock(mutex_);
        latest_ = std::move(failure);
    }

    std::optional<TransportFailure> failure() const {
        const std::scoped_lock lock(mutex_);
        return latest_;
    }

  private:
    mutable std::mutex mutex_;
    std::optional<TransportFailure> latest_;
};

} // namespace iokit
