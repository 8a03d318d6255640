#pragma once

#include "platform/backend/Backend.h"

namespace platform {

// The system's source of drives where none is written yet: it publishes
// nothing, so the updater finds no drive and says so.
class EmptyBackend : public Backend {
  public:
    std::vector<iokit::AccessResult> accessProblems() const override;
};

} // namespace platform
