#pragma once

#include "platform/iokit/SCSITaskInterfaces.h"

#include <optional>
#include <string_view>

// A drive's exclusive access for the length of one operation, reported under
// the operation's signature. A release that fails fails the operation: the
// drive may still be held.
class ExclusiveAccess {
  public:
    // None, with a warning, when the drive does not grant it.
    static std::optional<ExclusiveAccess> obtain(SCSITaskDeviceInterface& interface,
                                                 std::string_view signature);

    ExclusiveAccess(ExclusiveAccess&& other) noexcept;
    ExclusiveAccess& operator=(ExclusiveAccess&&) = delete;
    // Gives the access back when release() was not reached.
    ~ExclusiveAccess();

    // False, with an error, when the drive did not take the access back.
    bool release();

  private:
    ExclusiveAccess(SCSITaskDeviceInterface& interface, std::string_view signature)
        : interface_(&interface), signature_(signature) {}

    SCSITaskDeviceInterface* interface_;
    std::string_view signature_;
};
