#pragma once

#include "scsi/STUCMethod.h"

#include <optional>
#include <string>

// What an update is doing, in plain words, for the window's status line and
// the terminal: `percent` counts for writing and installing only.
std::string phaseText(UpdatePhase phase, int percent);

// The phase a "updatePhaseNotify" number names; none for another number.
std::optional<UpdatePhase> phaseOf(int number);
