#pragma once

#include "scsi/STUCMethod.h"

#include <ostream>

// An update's progress on a terminal while it lives, in the words of the
// window's status line: each phase on a line of its own, and writing and
// installing as a bar that is drawn again on one line only when its
// percentage changes. Installing takes the engine's "updateIndicatorNotify"
// values on the window's scale (a value v shows as 65536 - v of 65536) and
// ends at the final -1.
class TerminalProgressBar {
  public:
    explicit TerminalProgressBar(std::ostream& out);
    ~TerminalProgressBar();
    TerminalProgressBar(const TerminalProgressBar&) = delete;
    TerminalProgressBar& operator=(const TerminalProgressBar&) = delete;

  private:
    void enter(int number);
    void showInstalling(int value);
    void draw(UpdatePhase phase, int percent);
    void endLine();

    std::ostream& out_;
    int shownPercent_ = -1;
    bool lineOpen_ = false;
};
