#include "platform/linux/LinuxRegistration.h"

#include "platform/linux/LinuxBackend.h"

namespace linuxbackend {

platform::BackendRegistration registration() {
    return {
        "linux", [] { return true; },
        []() -> std::unique_ptr<platform::Backend> { return std::make_unique<LinuxBackend>(); }};
}

} // namespace linuxbackend
