#include "tests/kernel/HostRequest.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace tcmu {

bool askHost(std::string_view action) {
    // The runner reads the console line by line: the request must leave alone
    // on its line, now.
    std::fflush(stdout);
    std::cout << "\n@@WAIT " << action << std::endl;
    std::string answer;
    return std::getline(std::cin, answer) && answer.find("ok") != std::string::npos;
}

} // namespace tcmu
