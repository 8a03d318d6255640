#pragma once

#include "scsi/ScopedDuration.h"

// How long the update keeps polling a drive whose progress does not move
// while it installs, counted from its last change: the drive reports the same
// number poll after poll, or no number at all (it does not answer, or reports
// a reset). A drive that never becomes ready would otherwise keep the update,
// and the window, waiting for ever. Ten minutes unless set.
using BusyLimit = ScopedDuration<struct BusyLimitTag,
                                 std::chrono::milliseconds(std::chrono::minutes(10)).count()>;
