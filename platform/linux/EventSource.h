#pragma once

namespace linuxbackend {

// Where device reports come from: udevd's, sent once its rules have run (the
// nodes then have their final permissions and media their labels), or the
// kernel's own, for a system without udevd.
enum class EventSource { Udev, Kernel };

} // namespace linuxbackend
