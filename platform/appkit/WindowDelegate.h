#pragma once

namespace appkit {

// Told about a window's moves and asked before it closes; both on the GUI thread.
class WindowDelegate {
  public:
    virtual ~WindowDelegate() = default;

    // After every move of the window; Window::frame() already answers the new position.
    virtual void windowDidMove() {}

    // When the user or the platform closes the window; false keeps it open.
    virtual bool windowShouldClose() { return true; }
};

} // namespace appkit
