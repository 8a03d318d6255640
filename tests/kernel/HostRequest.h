#pragma once

#include <string_view>

namespace tcmu {

// Asks the runner on the host, through the guest's console, to do what only
// it can: "usb-attach", "usb-detach", "disc-insert", "disc-eject". Returns
// once it is done; false when the host could not do it.
bool askHost(std::string_view action);

} // namespace tcmu
