#pragma once

#include "platform/iokit/PassThroughDevice.h"
#include "platform/iokit/Services.h"

#include <memory>
#include <optional>
#include <string>

// A pass-through device as the registry publishes it: a class name, the task
// device category the enumeration matches, and the interfaces that drive it.
// Every backend publishes its devices this way.

namespace iokit {

class PassThroughService : public ServiceProvider {
  public:
    // `authoring`: whether the device is of the category the updater lists;
    // `physicalLocation`: where it is attached, when the system tells.
    PassThroughService(std::shared_ptr<PassThroughDevice> device, std::string className,
                       bool authoring, std::optional<std::string> physicalLocation = std::nullopt);

    std::optional<std::string> className() const override { return className_; }
    const CFDictionary& properties() const override { return properties_; }
    IOReturn createPlugInInterface(IOCFPlugInInterface** plugIn) override;

  private:
    // Counts the interfaces alive in tests (tests/support/SimulatedDrives.h).
    friend class PassThroughServiceProbe;

    // Each interface made for the device holds it.
    std::shared_ptr<PassThroughDevice> device_;
    std::string className_;
    CFDictionary properties_;
};

} // namespace iokit
