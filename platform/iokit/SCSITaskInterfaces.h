#pragma once

#include "platform/iokit/IOKitTypes.h"
#include "platform/iokit/PassThroughDevice.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

// The interfaces through which one SCSI device is driven: a plug-in for the
// device's user client, its MMC device interface, the SCSI task device
// interface and one task per command. A backend implements them; the command
// layer never knows which backend runs.

struct CFUUIDBytes {
    std::array<std::uint8_t, 16> bytes{};
    friend bool operator==(const CFUUIDBytes&, const CFUUIDBytes&) = default;
};
using CFUUIDRef = const CFUUIDBytes*;

// The constant UUID object for these bytes; the same bytes give the same object.
CFUUIDRef CFUUIDGetConstantUUIDWithBytes(const std::array<std::uint8_t, 16>& bytes);
CFUUIDBytes CFUUIDGetUUIDBytes(CFUUIDRef uuid);

extern const CFUUIDRef kIOMMCDeviceUserClientTypeID;
extern const CFUUIDRef kIOCFPlugInInterfaceID;
extern const CFUUIDRef kIOMMCDeviceInterfaceID;

// One data range of a task: the host's buffer.
struct IOVirtualRange {
    std::uint8_t* address = nullptr;
    std::uint32_t length = 0;
};

// Reference counted: a new interface holds one reference for its creator;
// Release drops one and the object goes with the last one.
class IOInterface {
  public:
    IOInterface() = default;
    IOInterface(const IOInterface&) = delete;
    IOInterface& operator=(const IOInterface&) = delete;

    void AddRef() { references_.fetch_add(1); }
    std::uint32_t Release();

  protected:
    virtual ~IOInterface() = default;

  private:
    std::atomic<std::uint32_t> references_{1};
};

class SCSITaskInterface : public IOInterface {
  public:
    virtual IOReturn SetCommandDescriptorBlock(std::span<const std::uint8_t> cdb) = 0;
    virtual IOReturn SetScatterGatherEntries(std::span<const IOVirtualRange> ranges,
                                             std::uint64_t transferCount,
                                             SCSIDataTransferDirection direction) = 0;
    virtual IOReturn SetTimeoutDuration(std::uint32_t milliseconds) = 0;
    // Returns when the command has completed; 0 when it was carried out.
    virtual IOReturn ExecuteTaskSync(SCSI_Sense_Data& sense, SCSITaskStatus& status,
                                     std::uint64_t& realizedTransferCount) = 0;
};

class SCSITaskDeviceInterface : public IOInterface {
  public:
    virtual IOReturn ObtainExclusiveAccess() = 0;
    virtual IOReturn ReleaseExclusiveAccess() = 0;
    // A new task owned by the caller, or none.
    virtual SCSITaskInterface* CreateSCSITask() = 0;

    // What the latest ObtainExclusiveAccess met, so that a holder can say why
    // it was refused; none when this interface cannot tell.
    virtual std::optional<iokit::AccessResult> latestAccess() const { return std::nullopt; }
    // How the latest task of this interface failed on its way to the device
    // and back; none when it was carried out, or when this interface cannot tell.
    virtual std::optional<iokit::TransportFailure> latestTransportFailure() const {
        return std::nullopt;
    }
};

class MMCDeviceInterface : public IOInterface {
  public:
    // The task device interface, owned by the caller, or none.
    virtual SCSITaskDeviceInterface* GetSCSITaskDeviceInterface() = 0;
};

class IOCFPlugInInterface : public IOInterface {
  public:
    virtual IOReturn QueryInterface(const CFUUIDBytes& interfaceID,
                                    MMCDeviceInterface** interface) = 0;
};

IOReturn IOCreatePlugInInterfaceForService(io_service_t service, CFUUIDRef pluginType,
                                           CFUUIDRef interfaceType, IOCFPlugInInterface** plugIn,
                                           std::int32_t* score);
IOReturn IODestroyPlugInInterface(IOCFPlugInInterface* plugIn);

namespace iokit {

// Gives an interface back the way its kind requires, so a holder can be RAII.
struct InterfaceReleaser {
    void operator()(IOCFPlugInInterface* plugIn) const { IODestroyPlugInInterface(plugIn); }
    void operator()(IOInterface* interface) const { interface->Release(); }
};

template <class Interface>
using InterfaceRef = std::unique_ptr<Interface, InterfaceReleaser>;

} // namespace iokit
