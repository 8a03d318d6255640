#pragma once

#include "platform/foundation/Localized.h"

#include <string>

// What a signal that comes during an update is answered with, in both front ends.
inline std::string heldSignalNotice() {
    return "\n" +
           foundation::localized("Not stopping yet: the drive is being updated. The updater stops "
                                 "once the drive is back in its normal mode.") +
           "\n";
}
