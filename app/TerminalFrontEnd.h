#pragma once

#include "app/DriveReport.h"
#include "platform/backend/Backend.h"
#include "records/FirmFileData.h"

#include <istream>
#include <ostream>

// The standard streams of a terminal session, and which of them is a terminal.
struct TerminalStreams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    bool inIsTerminal = false;
    bool errIsTerminal = false;
};

// The updater without its window: lists the drives and updates one, through
// the same engine, list, images, confirmation text, log and inhibitor lock as
// the window. Results go to standard output; questions, progress and
// failures to standard error. Each operation answers the process's exit
// status.
class TerminalFrontEnd {
  public:
    // The backend must already publish its drives.
    TerminalFrontEnd(const platform::Backend& backend, TerminalStreams streams);

    int list(bool json);
    // `index` counts from 1, as the list shows. Without `yes` the user is
    // asked on the terminal, and without a terminal nothing is done.
    int update(long index, bool yes);

  private:
    DriveReport survey() const;
    bool confirmed();

    const platform::Backend& backend_;
    TerminalStreams streams_;
    FirmFileData kernelImage_;
    FirmFileData normalImage_;
};
