#include "platform/backend/Backend.h"

#include "platform/backend/BackendRegistration.h"

#include <string>

namespace platform {

const BackendRegistration* firstApplying(std::span<const BackendRegistration> table) {
    for (const BackendRegistration& row : table) {
        if (row.applies()) {
            return &row;
        }
    }
    return nullptr;
}

std::unique_ptr<Backend> Backend::chooseAtStart() {
    const auto table = backendTable();
    if (const BackendRegistration* row = firstApplying(table)) {
        return row->start();
    }
    std::string names;
    for (const BackendRegistration& row : table) {
        names += names.empty() ? "" : ", ";
        names += row.name;
    }
    throw std::runtime_error("No backend of this build applies here (it has: " + names +
                             "); name a scenario file in QUELMAR_SCENARIO to use virtual drives");
}

} // namespace platform
