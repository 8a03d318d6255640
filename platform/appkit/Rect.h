#pragma once

namespace appkit {

// A window frame. x and y are the top-left corner of the window including its decorations, in
// Qt's global screen coordinates (y grows downwards); width and height are the window's inner size.
struct Rect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;

    friend bool operator==(const Rect&, const Rect&) = default;
};

} // namespace appkit
