#include "app/TerminalProgressBar.h"

#include "platform/foundation/Localized.h"
#include "platform/foundation/NotificationCenter.h"
#include "scsi/STUCMethod.h"

#include <algorithm>
#include <iomanip>
#include <string>

namespace {

constexpr int kWidth = 40;

} // namespace

TerminalProgressBar::TerminalProgressBar(std::ostream& out)
    : out_(out), installing_(foundation::localized("Installing")) {
    foundation::NotificationCenter::defaultCenter().addObserver(
        this, kUpdateIndicatorNotify, [this](const foundation::Notification& notification) {
            show(notification.object.value_or(0));
        });
}

TerminalProgressBar::~TerminalProgressBar() {
    foundation::NotificationCenter::defaultCenter().removeObserver(this);
    endLine();
}

void TerminalProgressBar::show(int value) {
    if (value < 0) {
        endLine();
        return;
    }
    // Values come as fast as the drive answers: only a change is drawn.
    const long shown = std::clamp(kProgressRange - value, 0, kProgressRange);
    const int percent = static_cast<int>(shown * 100 / kProgressRange);
    if (percent == shownPercent_) {
        return;
    }
    shownPercent_ = percent;
    const auto filled = static_cast<std::size_t>(shown * kWidth / kProgressRange);
    out_ << '\r' << installing_ << " [" << std::string(filled, '#')
         << std::string(kWidth - filled, '.') << "] " << std::setw(3) << percent << '%'
         << std::flush;
    lineOpen_ = true;
}

void TerminalProgressBar::endLine() {
    if (lineOpen_) {
        out_ << '\n' << std::flush;
        lineOpen_ = false;
    }
    shownPercent_ = -1;
}
