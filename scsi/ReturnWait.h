#pragma once

#include "scsi/ScopedDuration.h"

// How long the update waits for a drive that left while it installed (many
// drives restart on the bus to activate new firmware) to be attached again at
// the same place. Past it the drive's state is unknown to the updater. Two
// minutes unless set.
using ReturnWait = ScopedDuration<struct ReturnWaitTag,
                                  std::chrono::milliseconds(std::chrono::minutes(2)).count()>;
