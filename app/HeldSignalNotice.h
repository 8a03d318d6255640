#pragma once

// What a signal that comes during an update is answered with, in both front ends.
inline constexpr const char* kHeldSignalNotice =
    "\nNot stopping yet: the drive is being updated. The updater stops once the drive is back "
    "in its normal mode.\n";
