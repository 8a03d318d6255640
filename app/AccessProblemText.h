#pragma once

#include "platform/backend/Backend.h"
#include "scsi/STUCMethod.h"

#include <string>
#include <vector>

// Why drives could not be opened, in words a user can act on: one paragraph
// per drive, each naming the cause and the remedy. Empty when there is no
// problem to tell.
std::string informativeTextForAccessProblems(const std::vector<iokit::AccessResult>& problems);

// The same for a terminal, with each node and mount point shown as
// printableOnTerminal makes it.
std::string terminalTextForAccessProblems(const std::vector<iokit::AccessResult>& problems);

// What stood behind a failed update, in the same words: the open that was
// refused, or the command that did not reach the drive and back. Empty when
// the engine's own reason says all.
std::string informativeTextForUpdateCause(const UpdateOutcome& outcome);
std::string terminalTextForUpdateCause(const UpdateOutcome& outcome);
