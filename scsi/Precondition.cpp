#include "scsi/Precondition.h"

#include "platform/foundation/Log.h"

#include <cstdlib>
#include <string>

void requirePrecondition(bool holds, std::string_view expression, std::string_view function,
                         int line) {
    if (holds) {
        return;
    }
    foundation::Log::toStandardError("Assertion failed: (" + std::string(expression) +
                                     "), function " + std::string(function) +
                                     ", file STUCMethod, line " + std::to_string(line) + ".\n");
    std::abort();
}
