#pragma once

#include "platform/foundation/LogCapture.h"
#include "platform/sim/SimulatedBackend.h"
#include "scsi/STUCMethod.h"

#include <memory>
#include <string>
#include <vector>

// Virtual drives published in the registry for one test, and the interfaces
// of one of them.
class SimulatedDrives {
  public:
    explicit SimulatedDrives(std::vector<sim::DriveSpec> specs)
        : backend_(scenarioOf(std::move(specs))) {}

    static sim::DriveSpec targetDrive(std::string id) {
        sim::DriveSpec spec;
        spec.id = std::move(id);
        return spec;
    }

    sim::SimulatedBackend& backend() { return backend_; }
    sim::VirtualDrive& drive(const std::string& id) { return backend_.drive(id); }
    io_service_t service(const std::string& id) { return backend_.service(id); }
    DeviceInterfaces open(const std::string& id) {
        return CreateDeviceInterfaceForAuthoringDevice(service(id));
    }

  private:
    static sim::Scenario scenarioOf(std::vector<sim::DriveSpec> specs) {
        sim::Scenario scenario;
        scenario.drives = std::move(specs);
        return scenario;
    }

    sim::SimulatedBackend backend_;
};
