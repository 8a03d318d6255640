#pragma once

#include <QColor>

namespace appkit {

// A colour in device RGB, each channel from 0 to 1.
struct Color {
    float red = 0.0F;
    float green = 0.0F;
    float blue = 0.0F;
    float alpha = 1.0F;

    static Color colorWithDeviceRed(float red, float green, float blue, float alpha);

    QColor toQColor() const;

    friend bool operator==(const Color&, const Color&) = default;
};

} // namespace appkit
