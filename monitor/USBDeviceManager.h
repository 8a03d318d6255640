#pragma once

#include "platform/iokit/IOKitTypes.h"

// Tells the process, by notifications on the monitor's own thread, that
// authoring drives may have been attached or detached. It does not look at
// the drives: every notice means "list them again".
class USBDeviceManager {
  public:
    // The one shared monitor, made by the first call even when threads race to it.
    static USBDeviceManager& sharedInstance();

    // Sets up the arrival and removal notices, posting one of each, then runs
    // the calling thread's run loop, where the notices come. False at once
    // when the set-up fails (logged), true when the run loop is stopped.
    bool start();

    // Notice callbacks: each takes every service off the iterator, which arms
    // the notice again, and posts one notification however many there were.
    // They keep their long-standing names, reserved in form but class members.
    // NOLINTBEGIN(bugprone-reserved-identifier)
    static void _LTIOUSBDeviceAdded(void* refCon, io_iterator_t iterator);
    static void _LTIOUSBDeviceRemoved(void* refCon, io_iterator_t iterator);
    // NOLINTEND(bugprone-reserved-identifier)
};
