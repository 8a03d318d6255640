#include "platform/foundation/HeldSignals.h"

#include "platform/foundation/ProcessSignals.h"

namespace foundation {

HeldSignals::HeldSignals(std::string_view notice) {
    ProcessSignals::beginHold(notice);
}

HeldSignals::~HeldSignals() {
    ProcessSignals::endHold();
}

std::optional<int> HeldSignals::heldSignal() const {
    return ProcessSignals::heldSignal();
}

} // namespace foundation
