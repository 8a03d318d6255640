#pragma once

// What the process tells whoever started it, whichever front end runs.
namespace exitstatus {

inline constexpr int kDone = 0;            // updated, listed, or the window closed
inline constexpr int kUpdateFailed = 1;    // the update failed or was not confirmed
inline constexpr int kCannotStart = 1;     // the source of drives could not start
inline constexpr int kUsageError = 2;      // the command line cannot be carried out
inline constexpr int kNoEligibleDrive = 3; // no drive that may be updated at that index
inline constexpr int kAnotherInstance = 4; // another instance of the updater runs
// The updater cannot tell, here, whether another instance runs or where its own
// firmware images are, so it does not start.
inline constexpr int kCannotRunSafely = 5;
inline constexpr int kOutputFailed = 6; // what was asked for could not be written out
inline constexpr int kBadScenario = 7;  // the file QUELMAR_SCENARIO names cannot be read

} // namespace exitstatus
