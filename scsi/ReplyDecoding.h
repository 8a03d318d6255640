#pragma once

#include "records/DeviceData.h"

#include <cstdint>
#include <span>

// Turning the drive's replies into record fields, reading nothing outside the
// reply: INQUIRY texts are always present, a READ BUFFER version that is not
// UTF-8 is none.

// Standard INQUIRY data: vendor, product, revision, the date of the
// vendor-specific area, and the mode derived from the revision.
void storeInquiryData(std::span<const std::uint8_t> reply, DeviceData& deviceData);
// The version block of READ BUFFER, buffer F1h.
void storeReadBufferData(std::span<const std::uint8_t> reply, DeviceData& deviceData);
