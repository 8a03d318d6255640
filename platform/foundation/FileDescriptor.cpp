#include "platform/foundation/FileDescriptor.h"

#include <unistd.h>

namespace foundation {

FileDescriptor::~FileDescriptor() {
    close();
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        close();
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

bool FileDescriptor::close() {
    if (descriptor_ < 0) {
        return true;
    }
    // Linux frees the descriptor even when close fails, so it is never retried.
    return ::close(std::exchange(descriptor_, -1)) == 0;
}

} // namespace foundation
