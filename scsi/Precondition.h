#pragma once

#include <string_view>

// A precondition of the command layer. Callers never break one, so a broken
// one is a programming error: it is reported like a failed assertion and the
// program stops.
void requirePrecondition(bool holds, std::string_view expression, std::string_view function,
                         int line = __builtin_LINE());
