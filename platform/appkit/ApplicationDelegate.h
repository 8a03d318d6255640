#pragma once

namespace appkit {

enum class TerminateReply : int { Cancel = 0, Now = 1 };

// Asked on the GUI thread before the application quits.
class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;

    virtual TerminateReply applicationShouldTerminate() { return TerminateReply::Now; }
};

} // namespace appkit
