#include "platform/foundation/EventSignal.h"

#include <cerrno>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace foundation {

EventSignal::EventSignal() : descriptor_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (descriptor_ < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
}

EventSignal::~EventSignal() {
    close(descriptor_);
}

void EventSignal::raise() {
    // Cannot fail short of the counter's overflow, which a pending wake-up
    // makes harmless.
    eventfd_write(descriptor_, 1);
}

void EventSignal::clear() {
    eventfd_t count = 0;
    eventfd_read(descriptor_, &count);
}

} // namespace foundation
