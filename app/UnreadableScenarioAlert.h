#pragma once

#include <string>

// Tells the person at the window, before any window opens, that the scenario
// file named by QUELMAR_SCENARIO cannot be used: an alert of its own with
// `message`, the line a terminal command prints. Returns once the alert is
// dismissed or the application is asked to quit. GUI thread only.
void alertUnreadableScenario(const std::string& message);
