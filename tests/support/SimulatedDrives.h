#pragma once

#include "platform/iokit/Services.h"
#include "platform/sim/SimulatedBackend.h"
#include "platform/sim/SimulatedService.h"
#include "platform/sim/VirtualDriveDevice.h"
#include "scsi/STUCMethod.h"
#include "tests/support/LogCapture.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace iokit {

// What a pass-through service holds.
class PassThroughServiceProbe {
  public:
    static long deviceReferences(const PassThroughService& service) {
        return service.device_.use_count();
    }
};

} // namespace iokit

namespace sim {

// What a virtual drive's device and service went through.
class SimulatedDriveProbe {
  public:
    static AccessCounts accessCounts(const VirtualDriveDevice& device) {
        std::lock_guard lock(device.mutex_);
        return device.counts_;
    }
    static long deviceReferences(const SimulatedService& service) {
        return iokit::PassThroughServiceProbe::deviceReferences(*service.service_);
    }
};

} // namespace sim

// Virtual drives published in the registry for one test, and the interfaces
// of one of them.
class SimulatedDrives {
  public:
    explicit SimulatedDrives(std::vector<sim::DriveProfile> profiles)
        : backend_(scenarioOf(std::move(profiles))) {}
    explicit SimulatedDrives(const sim::Scenario& scenario) : backend_(scenario) {}

    static sim::DriveProfile targetDrive(std::string id) {
        sim::DriveProfile profile;
        profile.id = std::move(id);
        return profile;
    }

    sim::SimulatedBackend& backend() { return backend_; }
    sim::VirtualDrive& drive(const std::string& id) { return backend_.drive(id); }
    io_service_t service(const std::string& id) { return backend_.service(id); }
    DeviceInterfaces open(const std::string& id) {
        return CreateDeviceInterfaceForAuthoringDevice(service(id));
    }

    // Whether another client could take the drive exclusively now; it gives
    // the access straight back.
    bool exclusiveAccessIsFree(const std::string& id) {
        const DeviceInterfaces other = open(id);
        if (!other.taskDevice || other.taskDevice->ObtainExclusiveAccess() != kIOReturnSuccess) {
            return false;
        }
        other.taskDevice->ReleaseExclusiveAccess();
        return true;
    }

    // Whether every holder of the drive's exclusive access gave it back
    // itself, none by its interface going away.
    bool everyAccessReleased(const std::string& id) {
        const sim::AccessCounts counts =
            sim::SimulatedDriveProbe::accessCounts(backend_.device(id));
        return counts.opens == counts.closes && counts.abandoned == 0;
    }

    // References on the device behind a service: its service's and one for
    // every interface of it still alive.
    static long deviceReferences(io_service_t service) {
        const auto provider = std::dynamic_pointer_cast<sim::SimulatedService>(
            iokit::ServiceRegistry::provider(service));
        return provider ? sim::SimulatedDriveProbe::deviceReferences(*provider) : 0;
    }

  private:
    static sim::Scenario scenarioOf(std::vector<sim::DriveProfile> profiles) {
        sim::Scenario scenario;
        scenario.drives = std::move(profiles);
        return scenario;
    }

    sim::SimulatedBackend backend_;
};
