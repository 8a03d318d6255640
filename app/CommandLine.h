#pragma once

#include <variant>

// What the command line asks for, once it has been read.
struct CommandLineRequest {
    enum class Mode { Window, List, Update };

    Mode mode = Mode::Window;
    bool json = false;
    bool yes = false;
    bool verbose = false;
    // The position in the list of the drive to update, 1 for the first.
    long index = 0;
};

class CommandLine {
  public:
    // Answers --help, --version and unusable command lines on the standard
    // streams, before any window or drive is touched, and gives the exit
    // status; otherwise gives what to do. Qt's own options are not taken:
    // its environment variables do the same.
    static std::variant<int, CommandLineRequest> parse(int argc, char** argv);
};
