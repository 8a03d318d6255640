#pragma once

#include "platform/iokit/IOKitTypes.h"
#include "platform/sim/Scenario.h"
#include "platform/sim/VirtualDrive.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace sim {

class SimulatedDevice;

// Virtual drives in this process, published in the device registry as the
// operating system would publish real ones: attached drives are services,
// detached ones are not.
class SimulatedBackend {
  public:
    explicit SimulatedBackend(const Scenario& scenario);
    ~SimulatedBackend();
    SimulatedBackend(const SimulatedBackend&) = delete;
    SimulatedBackend& operator=(const SimulatedBackend&) = delete;

    // The drive with this id; throws std::out_of_range for an unknown id.
    VirtualDrive& drive(std::string_view id) const;
    // The drive's service while it is published, else 0.
    io_service_t service(std::string_view id) const;

    void attach(std::string_view id);
    void remove(std::string_view id);

  private:
    struct Entry {
        std::shared_ptr<VirtualDrive> drive;
        std::shared_ptr<SimulatedDevice> device;
        io_service_t service = IO_OBJECT_NULL;
    };

    Entry& entry(std::string_view id);
    const Entry& entry(std::string_view id) const;
    void publish(Entry& entry);

    mutable std::mutex mutex_;
    std::map<std::string, Entry, std::less<>> entries_;
};

} // namespace sim
