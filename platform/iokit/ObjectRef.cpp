#include "platform/iokit/ObjectRef.h"

#include "platform/iokit/Registry.h"

#include <utility>

namespace iokit {

ObjectRef ObjectRef::retain(io_object_t handle) {
    if (handle != IO_OBJECT_NULL) {
        IOObjectRetain(handle);
    }
    return ObjectRef(handle);
}

ObjectRef::ObjectRef(const ObjectRef& other) : handle_(other.handle_) {
    if (handle_ != IO_OBJECT_NULL) {
        IOObjectRetain(handle_);
    }
}

ObjectRef& ObjectRef::operator=(const ObjectRef& other) {
    // Retained before the old one goes: assigning a handle to itself, or to
    // the record that holds its last reference, must not free it in between.
    ObjectRef copy(other);
    std::swap(handle_, copy.handle_);
    return *this;
}

ObjectRef::ObjectRef(ObjectRef&& other) noexcept
    : handle_(std::exchange(other.handle_, IO_OBJECT_NULL)) {}

ObjectRef& ObjectRef::operator=(ObjectRef&& other) noexcept {
    ObjectRef taken(std::move(other));
    std::swap(handle_, taken.handle_);
    return *this;
}

ObjectRef::~ObjectRef() {
    releaseHeld();
}

io_object_t* ObjectRef::receive() {
    releaseHeld();
    return &handle_;
}

void ObjectRef::releaseHeld() {
    if (handle_ != IO_OBJECT_NULL) {
        IOObjectRelease(std::exchange(handle_, IO_OBJECT_NULL));
    }
}

} // namespace iokit
