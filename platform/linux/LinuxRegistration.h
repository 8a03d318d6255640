#pragma once

#include "platform/backend/BackendRegistration.h"

namespace linuxbackend {

// The system's own drives and discs. It applies wherever it is built: udev or
// else the kernel reports the devices of any Linux system.
platform::BackendRegistration registration();

} // namespace linuxbackend
