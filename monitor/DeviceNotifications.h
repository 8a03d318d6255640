#pragma once

// The notifications by which drives and discs coming and going are told. A
// drive notice has no object; a disc notice has a number.
inline constexpr const char* kAppearedDeviceNotify = "appearedDeviceNotify";
inline constexpr const char* kDisappearedDeviceNotify = "disappearedDeviceNotify";
// Asks the window for a list refresh like the two above; nothing in the
// updater posts it.
inline constexpr const char* kChangedDeviceNotify = "changedDeviceNotify";
inline constexpr int kDiscAppearedNumber = 1;
inline constexpr int kDiscDisappearedNumber = 3;
