#include "monitor/LaunchFlags.h"

std::atomic<bool> IsPresenceDiscsForAppLaunch = false;
std::atomic<bool> IsFoundTargetDriveForAppLaunch = false;
