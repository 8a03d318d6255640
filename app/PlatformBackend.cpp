#include "app/PlatformBackend.h"

#include <cstdlib>

std::unique_ptr<PlatformBackend> PlatformBackend::chooseAtStart() {
    const char* scenarioFile = std::getenv("QUELMAR_SCENARIO");
    if (scenarioFile == nullptr || *scenarioFile == '\0') {
        return std::make_unique<PlatformBackend>();
    }
    return std::make_unique<PlatformBackend>(sim::Scenario::load(scenarioFile));
}

PlatformBackend::PlatformBackend(const sim::Scenario& scenario)
    : simulated_(std::make_unique<sim::SimulatedBackend>(scenario)),
      player_(std::make_unique<sim::EventPlayer>(*simulated_, scenario)) {
    if (scenario.busyLimit) {
        busyLimit_.emplace(*scenario.busyLimit);
    }
}
