#pragma once

#include "records/DeviceData.h"

#include <cstdint>
#include <span>

// Turning the drive's replies into record fields. Any bytes give fields:
// nothing is read outside the reply.

// Standard INQUIRY data: vendor, product, revision, the date of the
// vendor-specific area, and the mode derived from the revision.
void storeInquiryData(std::span<const std::uint8_t> reply, DeviceData& deviceData);
// The version block of READ BUFFER, buffer F1h.
void storeReadBufferData(std::span<const std::uint8_t> reply, DeviceData& deviceData);
