#pragma once

#include "platform/foundation/RunLoop.h"
#include "platform/iokit/CFDictionary.h"

#include <memory>

// Disk arbitration: a session hears of disks appearing and disappearing, and
// calls its callbacks on the run loop it is scheduled on.

class DASession;
class DADisk;

// Shared: the last reference releases the session.
using DASessionRef = std::shared_ptr<DASession>;
// Valid during the callback it is given to.
using DADiskRef = const DADisk*;

using DADiskAppearedCallback = void (*)(DADiskRef disk, void* context);
using DADiskDisappearedCallback = void (*)(DADiskRef disk, void* context);

inline constexpr const char* kDADiskDescriptionVolumeNameKey = "DAVolumeName";
inline constexpr const char* kDADiskDescriptionDeviceModelKey = "DADeviceModel";

// None when the kernel has no descriptor left.
DASessionRef DASessionCreate();
// A session is scheduled on one run loop at a time, from that loop's thread;
// unschedule it there before its last reference goes.
void DASessionScheduleWithRunLoop(const DASessionRef& session, foundation::RunLoop& runLoop);
void DASessionUnscheduleFromRunLoop(const DASessionRef& session, foundation::RunLoop& runLoop);

// `match` names description values a disk must have; none matches every disk.
// The appeared callback is first called for every disk already present.
void DARegisterDiskAppearedCallback(const DASessionRef& session,
                                    const CFMutableDictionaryRef& match,
                                    DADiskAppearedCallback callback, void* context);
void DARegisterDiskDisappearedCallback(const DASessionRef& session,
                                       const CFMutableDictionaryRef& match,
                                       DADiskDisappearedCallback callback, void* context);
// Ends every registration of the callback with this context; calls already
// due are not made.
void DAUnregisterCallback(const DASessionRef& session, DADiskAppearedCallback callback,
                          void* context);

// A copy of the disk's description, or none.
CFMutableDictionaryRef DADiskCopyDescription(DADiskRef disk);
