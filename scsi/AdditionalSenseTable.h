#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace scsi {

// One row of the additional-sense table: the text of one (ASC, ASCQ) pair.
struct AdditionalSenseEntry {
    std::uint8_t asc;
    std::uint8_t ascq;
    std::string_view text;
};

// The text of an exact (ASC, ASCQ) pair, or none when the table has no row for it.
std::optional<std::string_view> additionalSenseText(std::uint8_t asc, std::uint8_t ascq);

// The name of a 4-bit sense key; anything above 14 is "Unknown Sense Code".
std::string_view senseKeyName(std::uint8_t key);

// Every row, ordered by ASC and then ASCQ.
std::span<const AdditionalSenseEntry> additionalSenseEntries();

} // namespace scsi
