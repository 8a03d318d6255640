#pragma once

#include <ostream>
#include <string>

// The install progress of an update on a terminal, from the engine's
// "updateIndicatorNotify" values while it lives: the same scale as the
// window's bar (a value v shows as 65536 - v of 65536), drawn again on one
// line only when its percentage changes, and ended at the final -1.
class TerminalProgressBar {
  public:
    explicit TerminalProgressBar(std::ostream& out);
    ~TerminalProgressBar();
    TerminalProgressBar(const TerminalProgressBar&) = delete;
    TerminalProgressBar& operator=(const TerminalProgressBar&) = delete;

  private:
    void show(int value);
    void endLine();

    std::ostream& out_;
    const std::string installing_;
    int shownPercent_ = -1;
    bool lineOpen_ = false;
};
