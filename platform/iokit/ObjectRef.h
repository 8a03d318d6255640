#pragma once

#include "platform/iokit/IOKitTypes.h"

// One registry reference, given back when the holder goes. A copy takes a
// reference of its own; a move hands the reference over.
namespace iokit {

class ObjectRef {
  public:
    ObjectRef() = default;
    // Takes over a reference the caller already owns (IOIteratorNext's, an
    // out-parameter's).
    static ObjectRef adopt(io_object_t handle) { return ObjectRef(handle); }
    // Takes a reference of its own on a handle someone else keeps.
    static ObjectRef retain(io_object_t handle);

    ObjectRef(const ObjectRef& other);
    ObjectRef& operator=(const ObjectRef& other);
    ObjectRef(ObjectRef&& other) noexcept;
    ObjectRef& operator=(ObjectRef&& other) noexcept;
    ~ObjectRef();

    io_object_t get() const { return handle_; }
    explicit operator bool() const { return handle_ != IO_OBJECT_NULL; }
    // Gives the held reference back, then lends the slot to a call that
    // returns a new reference through an out-parameter.
    io_object_t* receive();

  private:
    explicit ObjectRef(io_object_t handle) : handle_(handle) {}
    void releaseHeld();

    io_object_t handle_ = IO_OBJECT_NULL;
};

} // namespace iokit
