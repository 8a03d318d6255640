#include "platform/backend/EmptyBackend.h"

namespace platform {

std::vector<iokit::AccessResult> EmptyBackend::accessProblems() const {
    return {};
}

} // namespace platform
