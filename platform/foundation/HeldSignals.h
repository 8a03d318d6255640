#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace foundation {

// Holds off the signals that ProcessSignals waits for, for work that must not
// be cut short, such as a drive's update. Each signal that arrives meanwhile
// is answered at once with `notice` on standard error; when the hold ends,
// the first signal that ends the process (or, without one, the first that
// stops it) goes to the front end's action. Holds may overlap: the signals
// wait for the last one to end. A hold may end on another thread than the one
// that made it.
class HeldSignals {
  public:
    explicit HeldSignals(std::string_view notice);
    ~HeldSignals();
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

    // The signal that will take effect when the hold ends, if any yet.
    std::optional<int> heldSignal() const;
};

} // namespace foundation
