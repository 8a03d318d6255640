#pragma once

#include "platform/diskarb/DiskArbitration.h"

// Disk arbitration callbacks: a disk that carries a named volume, coming or
// going, is a reason to list the drives again. The context is not used.
void diskAppearedCallback(DADiskRef disk, void* context);
void diskDisappearedCallback(DADiskRef disk, void* context);

// True when the disk carries a named volume; one in a drive of the target
// model also sets IsPresenceDiscsForAppLaunch.
bool getDiscriptionInfo(DADiskRef disk);
