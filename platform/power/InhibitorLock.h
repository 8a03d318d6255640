#pragma once

#include "platform/foundation/FileDescriptor.h"

#include <string>

namespace power {

// A login manager's inhibitor lock in "block" mode, held while the object
// lives: the system does not do what `what` names ("sleep:shutdown", say)
// until the lock goes. Without a system bus or a login manager there is no
// lock and the work goes on all the same; the first such failure in the
// process is logged as a warning, later ones are not.
class InhibitorLock {
  public:
    InhibitorLock(const std::string& what, const std::string& who, const std::string& why);
    InhibitorLock(const InhibitorLock&) = delete;
    InhibitorLock& operator=(const InhibitorLock&) = delete;

  private:
    // The lock lasts as long as this descriptor stays open.
    foundation::FileDescriptor lock_;
};

} // namespace power
