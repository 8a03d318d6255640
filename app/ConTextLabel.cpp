#include "app/ConTextLabel.h"

void ConTextLabel::setEnabled(bool enabled) {
    setTextColor(enabled ? activeTextColor() : inactiveTextColor());
    appkit::TextField::setEnabled(enabled);
}

appkit::Color ConTextLabel::activeTextColor() {
    return appkit::Color::colorWithDeviceRed(0.0F, 0.0F, 0.0F, 1.0F);
}

appkit::Color ConTextLabel::inactiveTextColor() {
    constexpr float grey = 100.0F / 255.0F;
    return appkit::Color::colorWithDeviceRed(grey, grey, grey, 1.0F);
}
