#pragma once

#include "records/DeviceData.h"
#include "scsi/STUCMethod.h"

#include <string>
#include <string_view>

// How an update ended, in words a user acts on, for the window's result
// sheet and the terminal alike.

// The drive, by the title the list showed when it was chosen, and the
// revision it now reports.
std::string completionText(std::string_view chosenTitle, const DeviceData& updated);

// What failed and, when the drive is left in kernel mode, what that means
// for the user: it is listed, may be updated again and must stay connected.
std::string failureText(const UpdateOutcome& outcome);
