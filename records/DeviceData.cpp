#include "records/DeviceData.h"

#include "platform/iokit/Registry.h"

DeviceData::DeviceData(const DeviceData& other) {
    *this = other;
}

DeviceData& DeviceData::operator=(const DeviceData& other) {
    // Field by field through the setters, in declaration order, so the handle
    // reference is taken by setScsiDevice like any other store.
    setScsiDevice(other.scsiDevice());
    setDriveMode(other.driveMode());
    setVendor(other.vendor());
    setProduct(other.product());
    setRevision(other.revision());
    setDate(other.date());
    setHard_version(other.hard_version());
    setKrnl_version(other.krnl_version());
    setDest_version(other.dest_version());
    setJudgeKrnl(other.judgeKrnl());
    setSame(other.same());
    setSameNo(other.sameNo());
    setIsEnableUpdate(other.isEnableUpdate());
    setIsPresenceDisc(other.isPresenceDisc());
    return *this;
}

DeviceData::~DeviceData() {
    setScsiDevice(IO_OBJECT_NULL);
}

void DeviceData::setScsiDevice(io_service_t device) {
    // Retain first: storing the handle the record already holds must not drop
    // the last reference in between.
    if (device != IO_OBJECT_NULL) {
        IOObjectRetain(device);
    }
    if (scsiDevice_ != IO_OBJECT_NULL) {
        IOObjectRelease(scsiDevice_);
    }
    scsiDevice_ = device;
}
