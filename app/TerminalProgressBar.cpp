#include "app/TerminalProgressBar.h"

#include "app/UpdatePhaseText.h"
#include "platform/foundation/NotificationCenter.h"

#include <algorithm>
#include <string>

namespace {

constexpr int kWidth = 40;

} // namespace

TerminalProgressBar::TerminalProgressBar(std::ostream& out) : out_(out) {
    auto& center = foundation::NotificationCenter::defaultCenter();
    center.addObserver(this, kUpdatePhaseNotify,
                       [this](const foundation::Notification& notification) {
                           enter(notification.object.value_or(-1));
                       });
    center.addObserver(this, kUpdateWriteProgressNotify,
                       [this](const foundation::Notification& notification) {
                           draw(UpdatePhase::Writing, notification.object.value_or(0));
                       });
    center.addObserver(this, kUpdateIndicatorNotify,
                       [this](const foundation::Notification& notification) {
                           showInstalling(notification.object.value_or(0));
                       });
}

TerminalProgressBar::~TerminalProgressBar() {
    foundation::NotificationCenter::defaultCenter().removeObserver(this);
    endLine();
}

void TerminalProgressBar::enter(int number) {
    const auto phase = phaseOf(number);
    if (!phase) {
        return;
    }
    endLine();
    if (*phase == UpdatePhase::Writing || *phase == UpdatePhase::Installing) {
        draw(*phase, 0);
    } else {
        out_ << phaseText(*phase, 0) << '\n' << std::flush;
    }
}

void TerminalProgressBar::showInstalling(int value) {
    if (value < 0) {
        endLine();
        return;
    }
    draw(UpdatePhase::Installing, installedPercent(value));
}

void TerminalProgressBar::draw(UpdatePhase phase, int percent) {
    // Values come as fast as the drive answers: only a change is drawn.
    if (lineOpen_ && percent == shownPercent_) {
        return;
    }
    shownPercent_ = percent;
    const auto filled = static_cast<std::size_t>(std::clamp(percent, 0, 100) * kWidth / 100);
    out_ << '\r' << phaseText(phase, percent) << " [" << std::string(filled, '#')
         << std::string(kWidth - filled, '.') << ']' << std::flush;
    lineOpen_ = true;
}

void TerminalProgressBar::endLine() {
    if (lineOpen_) {
        out_ << '\n' << std::flush;
        lineOpen_ = false;
    }
    shownPercent_ = -1;
}
