#include "platform/backend/Backend.h"

#include "platform/linux/LinuxBackend.h"
#include "platform/sim/Scenario.h"
#include "platform/sim/SimulatedBackend.h"

#include <cstdlib>

namespace platform {

std::unique_ptr<Backend> Backend::chooseAtStart() {
    const char* scenarioFile = std::getenv("QUELMAR_SCENARIO");
    if (scenarioFile == nullptr || *scenarioFile == '\0') {
        return std::make_unique<linuxbackend::LinuxBackend>();
    }
    auto simulated = std::make_unique<sim::SimulatedBackend>(sim::Scenario::load(scenarioFile));
    simulated->playEvents();
    return simulated;
}

} // namespace platform
