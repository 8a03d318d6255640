#pragma once

#include "platform/backend/Backend.h"

#include <memory>
#include <span>
#include <string_view>

namespace platform {

// One row of the table of backends: a backend's name, whether it applies
// here and now, and how to start it.
struct BackendRegistration {
    std::string_view name;
    bool (*applies)();
    // May throw as Backend::chooseAtStart says.
    std::unique_ptr<Backend> (*start)();
};

// The backends this build has, in the order they are tried: the scenario's
// first, so that a scenario named wins over the system's own drives.
std::span<const BackendRegistration> backendTable();

// The first row of `table` that applies, if any.
const BackendRegistration* firstApplying(std::span<const BackendRegistration> table);

} // namespace platform
