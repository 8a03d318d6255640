#pragma once

#include "scsi/ScopedDuration.h"

// The shortest time from one install poll to the next. A drive answers TEST
// UNIT READY at once while it installs; polled back to back it would get tens
// of thousands of commands a second, and the trace a line for each. 100 ms
// unless set.
using PollInterval = ScopedDuration<struct PollIntervalTag, 100>;
