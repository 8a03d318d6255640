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
    sim::Scenario scenario;
    try {
        scenario = sim::Scenario::load(scenarioFile);
    } catch (const std::runtime_error& error) {
        throw UnreadableScenario(error.what());
    }
    auto simulated = std::make_unique<sim::SimulatedBackend>(scenario);
    simulated->playEvents();
    return simulated;
}

} // namespace platform
