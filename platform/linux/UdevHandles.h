#pragma once

#include <libudev.h>
#include <memory>

// libudev's reference-counted objects, each given back when its owner goes.

namespace linuxbackend {

template <class Object, Object* (*unref)(Object*)>
struct UdevUnref {
    void operator()(Object* object) const { unref(object); }
};

using UdevContext = std::unique_ptr<udev, UdevUnref<udev, udev_unref>>;
using UdevDevice = std::unique_ptr<udev_device, UdevUnref<udev_device, udev_device_unref>>;
using UdevEnumerate =
    std::unique_ptr<udev_enumerate, UdevUnref<udev_enumerate, udev_enumerate_unref>>;
using UdevMonitor = std::unique_ptr<udev_monitor, UdevUnref<udev_monitor, udev_monitor_unref>>;

} // namespace linuxbackend
