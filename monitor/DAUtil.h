#pragma once

#include "platform/diskarb/DiskArbitration.h"

// The process's one disk arbitration session.
class DAUtil {
  public:
    // Creates the session unless there is one, and schedules it on the
    // calling thread's run loop, where its callbacks are then made.
    static void initSession();
    // Unschedules the session from the calling thread's run loop and releases
    // it, if there is one. Call it on the thread that called initSession.
    static void releaseSession();
    // The session, or none.
    static DASessionRef session();
};
