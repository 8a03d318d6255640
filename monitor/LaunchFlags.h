#pragma once

#include <atomic>

// Cleared at start-up and read by the first drive listing: whether a named
// volume was seen in a target drive (set by the disc callbacks, never cleared
// again), and whether that listing found a target drive.
extern std::atomic<bool> IsPresenceDiscsForAppLaunch;
extern std::atomic<bool> IsFoundTargetDriveForAppLaunch;
