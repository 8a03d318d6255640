#pragma once

#include "platform/backend/BackendRegistration.h"

namespace sim {

// Virtual drives, when QUELMAR_SCENARIO names a scenario file: they start as
// the file says, with its timed events playing. A file that cannot be read or
// parsed throws platform::UnreadableScenario.
platform::BackendRegistration registration();

} // namespace sim
