#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

// The texts people read are English in the code and the key of their
// translation in the main bundle's string tables.

// The translation of `english`, or `english` itself.
std::string localized(const std::string& english);

// The translation of the printf format `english`, formatted with the
// arguments. A translation that does not take the same arguments as the
// English format is never used as a format: the English one is.
std::string localizedFormat(const char* english, ...) __attribute__((format(printf, 1, 2)));

// What a printf format takes, argument by argument in the order of the
// arguments ("ld", "s", ...; d and i alike): positional conversions ("%2$s")
// by their numbers, which must then number every conversion and leave no
// argument out. None for anything this updater does not hand a translation:
// a malformed conversion, a mix of positional and plain ones, "*", %n or %m.
std::optional<std::vector<std::string>> printfArguments(std::string_view format);

// Whether `translation` may stand for `english`: a printf format takes the
// same arguments as it; a text with Qt's markers instead ("%1") has the same
// markers.
bool takesSameArguments(std::string_view english, std::string_view translation);

} // namespace foundation
