#pragma once

#include "platform/backend/Backend.h"
#include "platform/iokit/IOKitTypes.h"
#include "platform/sim/Scenario.h"
#include "platform/sim/VirtualDrive.h"
#include "platform/sim/VirtualDriveDevice.h"
#include "platform/tracking/PublishedDrives.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace sim {

class EventPlayer;
class SimulatedService;

// Virtual drives in this process, published in the device registry as the
// operating system would publish real ones: attached drives are services,
// detached ones are not. Each drive is a pass-through device named
// "virtual:<id>", with its faults as decorators around it.
class SimulatedBackend : public platform::Backend {
  public:
    explicit SimulatedBackend(const Scenario& scenario);
    ~SimulatedBackend() override;
    SimulatedBackend(const SimulatedBackend&) = delete;
    SimulatedBackend& operator=(const SimulatedBackend&) = delete;

    // Starts the scenario's timed events and reports the discs of attached
    // drives, as the application sees them; once only, the later calls do
    // nothing. Until then the drives stay as the scenario starts them.
    void playEvents();

    std::vector<iokit::AccessResult> accessProblems() const override;
    std::optional<std::chrono::milliseconds> installWaitLimit() const override {
        return scenario_.busyLimit;
    }
    std::optional<std::chrono::milliseconds> installPollInterval() const override {
        return scenario_.pollInterval;
    }
    std::optional<std::chrono::milliseconds> returnWaitLimit() const override {
        return scenario_.returnWait;
    }

    // The drive with this id; throws std::out_of_range for an unknown id.
    VirtualDrive& drive(std::string_view id) const;
    // The drive's device, without its faults; throws like drive().
    const VirtualDriveDevice& device(std::string_view id) const;
    // The drive's service while it is published, else 0.
    io_service_t service(std::string_view id) const;

    void attach(std::string_view id);
    void remove(std::string_view id);

  private:
    struct Entry {
        std::shared_ptr<VirtualDrive> drive;
        std::shared_ptr<VirtualDriveDevice> device;
        std::shared_ptr<SimulatedService> provider;
    };

    Entry& entry(std::string_view id);
    const Entry& entry(std::string_view id) const;
    void publish(const std::string& id, const Entry& entry);
    // A drive that left during its install is withdrawn at once and, unless
    // it stays away, published again after its time away.
    void driveLeft(const std::string& id);
    void bringBack(const std::string& id, std::chrono::milliseconds away,
                   const std::stop_token& stop);

    const Scenario scenario_;
    mutable std::mutex mutex_;
    std::map<std::string, Entry, std::less<>> entries_;
    // The attached drives, by id.
    tracking::PublishedDrives published_;
    // Stopped first when the backend goes, before the drives it plays on.
    std::unique_ptr<EventPlayer> player_;
    // Drives on their way back; guarded by returnsMutex_, stopped with the player.
    std::mutex returnsMutex_;
    std::vector<std::jthread> returns_;
};

} // namespace sim
