#pragma once

// What the process tells whoever started it, whichever front end runs.
namespace exitstatus {

inline constexpr int kDone = 0;            // updated, listed, or the window closed
inline constexpr int kUpdateFailed = 1;    // the update failed or was not confirmed
inline constexpr int kUsageError = 2;      // the command line cannot be carried out
inline constexpr int kNoEligibleDrive = 3; // no drive that may be updated at that index
inline constexpr int kAnotherInstance = 4; // another instance of the updater runs
// Running instances cannot be kept track of safely here, so none may start.
inline constexpr int kCannotRunSafely = 5;

} // namespace exitstatus
