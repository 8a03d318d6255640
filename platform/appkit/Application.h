#pragma once

#include "platform/appkit/ApplicationDelegate.h"

#include <atomic>

namespace appkit {

// The running application around the QApplication that main creates. Every way of quitting goes
// through the delegate: terminate(), the platform's quit request, and the last window closing.
class Application {
  public:
    // The first call must come from the GUI thread, after the QApplication exists.
    static Application& sharedApplication();

    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Not owned; null for none, which lets every quit happen.
    void setDelegate(ApplicationDelegate* delegate);

    // From any thread, without waiting: asks the delegate on the GUI thread and, when it answers
    // TerminateReply::Now, ends the event loop.
    void terminate();

    // Runs the event loop on the GUI thread; answers the exit status.
    int run();

  private:
    Application();
    bool terminateIfAllowed();

    std::atomic<ApplicationDelegate*> delegate_{nullptr};
};

} // namespace appkit
