#include "platform/appkit/Color.h"

namespace appkit {

Color Color::colorWithDeviceRed(float red, float green, float blue, float alpha) {
    return Color{red, green, blue, alpha};
}

QColor Color::toQColor() const {
    return QColor::fromRgbF(red, green, blue, alpha);
}

} // namespace appkit
