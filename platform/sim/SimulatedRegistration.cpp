#include "platform/sim/SimulatedRegistration.h"

#include "platform/sim/Scenario.h"
#include "platform/sim/SimulatedBackend.h"

#include <cstdlib>

namespace sim {
namespace {

const char* scenarioFile() {
    const char* file = std::getenv("QUELMAR_SCENARIO");
    return file == nullptr || *file == '\0' ? nullptr : file;
}

std::unique_ptr<platform::Backend> start() {
    Scenario scenario;
    try {
        scenario = Scenario::load(scenarioFile());
    } catch (const std::runtime_error& error) {
        throw platform::UnreadableScenario(error.what());
    }
    auto simulated = std::make_unique<SimulatedBackend>(scenario);
    simulated->playEvents();
    return simulated;
}

} // namespace

platform::BackendRegistration registration() {
    return {"sim", [] { return scenarioFile() != nullptr; }, start};
}

} // namespace sim
