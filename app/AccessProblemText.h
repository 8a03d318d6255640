#pragma once

#include "platform/iokit/PassThroughDevice.h"

#include <string>
#include <vector>

// Why drives could not be opened, in words a user can act on: one paragraph
// per drive, each naming the cause and the remedy. Empty when there is no
// problem to tell.
std::string informativeTextForAccessProblems(const std::vector<iokit::AccessResult>& problems);

// The same for a terminal, with each node and mount point shown as
// printableOnTerminal makes it.
std::string terminalTextForAccessProblems(const std::vector<iokit::AccessResult>& problems);

// The problems in `now` that are not in `before`, as they stand: what a piece
// of work that ran in between ran into.
std::vector<iokit::AccessResult> newAccessProblems(const std::vector<iokit::AccessResult>& before,
                                                   const std::vector<iokit::AccessResult>& now);
