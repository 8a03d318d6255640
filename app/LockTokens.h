#pragma once

// The named locks the window controller's threads share. A token spelled
// differently in one place would be a lock that excludes nothing.

// Held for a whole list refresh; the update waits on it before opening a drive.
inline constexpr const char* kListingLock = "SYNC_LISTING";
// Guards the drive list, the current index and the current drive's copy.
inline constexpr const char* kCurrentDeviceLock = "SYNC_CURRENTDEVICE";
