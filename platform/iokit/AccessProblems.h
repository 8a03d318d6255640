#pragma once

#include "platform/iokit/PassThroughDevice.h"

#include <string>
#include <string_view>
#include <vector>

// The process's record of devices whose exclusive access was refused, so that
// whoever lists drives or updates one can later say why a drive was missing
// or failed. One entry per device node, most recent last; a grant of the same
// node clears it. Safe from any thread.

namespace iokit {

class AccessProblems {
  public:
    AccessProblems() = delete;

    // Notes how an open of a device fared: a refusal replaces the node's
    // earlier entry and moves it last, a grant clears it.
    static void note(const AccessResult& result);
    // Drops the node's entry, for a device that has left for good.
    static void forget(std::string_view deviceNode);
    // The refusals still standing of these nodes only: a backend's own.
    static std::vector<AccessResult> currentOf(const std::vector<std::string>& deviceNodes);
};

} // namespace iokit
