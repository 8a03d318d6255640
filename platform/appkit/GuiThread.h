#pragma once

#include <functional>

class QObject;

namespace appkit {

// Runs `work` on the GUI thread's event loop after everything queued there before it, even when
// called from the GUI thread itself; the caller never waits. The application object must exist.
void invokeOnGuiThread(std::function<void()> work);

// The same, addressed to `context`, an object of the GUI thread: the work is dropped if the
// context is destroyed before it runs.
void invokeOnGuiThread(QObject& context, std::function<void()> work);

// True on the thread that runs the application's event loop.
bool isGuiThread();

} // namespace appkit
