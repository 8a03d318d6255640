#pragma once

#include "records/DeviceData.h"
#include "records/FirmFileData.h"

#include <string>
#include <vector>

// The list of target drives as every front end shows it, so that a drive has
// the same place and title in the window and on the terminal.

// Every attached drive of the target model, identified and judged against
// the normal image by the engine, in the order it finds them, twins numbered.
std::vector<DeviceData> listTargetDrivesNumbered(const FirmFileData& normalImage);

// Drives of equal vendor, product and revision are numbered 1, 2, 3, ... in
// list order, so that their titles differ; a drive without a twin is not.
void numberTwins(std::vector<DeviceData>& drives);

// "%@ %@ %@%@ %@": revision and date run together, and a twin's number
// follows a second blank.
std::string titleOf(const DeviceData& drive);

// The drive's product, its revision and the image's revision, blanks that
// pad the fields left out: "BD-RW KLV-TN82WA 1.01 -> 1.02", what an update
// of the drive with the image changes.
std::string changeTitleOf(const DeviceData& drive, const FirmFileData& image);

// "%@ %@%@": the image's product, then its revision and date run together,
// as the version a drive will be updated to.
std::string versionTitleOf(const FirmFileData& image);
