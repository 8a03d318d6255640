#pragma once

#include "scsi/STUCMethod.h"

#include <optional>
#include <string>

// What an update is doing, in plain words, for the window's status line and
// the terminal: `percent` counts for writing and installing only.
std::string phaseText(UpdatePhase phase, int percent);

// The share installed, in percent, that an "updateIndicatorNotify" value of
// 0 or more stands for: the value counts down through kProgressRange.
int installedPercent(int indicatorValue);

// The phase an "updatePhaseNotify" number names; none for another number.
std::optional<UpdatePhase> phaseOf(int number);
