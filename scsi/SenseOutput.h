#pragma once

#include "platform/iokit/IOKitTypes.h"

#include <cstdint>
#include <span>
#include <string>

// The readable sense line and the diagnostic dumps, all written to standard error.

// The sense line without its line feed: sense key by name, then the text of the
// (ASC, ASCQ) pair; with includeCodes the three codes lead in hexadecimal. An
// ASC of 40h or 4Dh without a row of its own gives only its text with the
// qualifier's number, neither key nor codes.
std::string SenseString(const SCSI_Sense_Data& sense, bool includeCodes);

// Writes SenseString and a line feed in one write.
void PrintSenseString(const SCSI_Sense_Data& sense, bool includeCodes);

// Dumps standard INQUIRY data; bytes beyond the span read as zero.
void PrintSCSIInquiryDataUsing(std::span<const std::uint8_t> data);

// Dumps READ BUFFER data one byte a line, at most the first 65535 bytes.
void PrintReadBuffer(std::span<const std::uint8_t> data);
