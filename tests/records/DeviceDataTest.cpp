#include "records/DeviceData.h"

#include "platform/iokit/Registry.h"
#include "tests/support/RegistryCounts.h"

#include <gtest/gtest.h>

namespace {

class Service : public iokit::RegistryObject {
  public:
    std::optional<std::string> className() const override { return "Service"; }
};

io_service_t newService() {
    return iokit::Registry::insert(std::make_shared<Service>());
}

} // namespace

TEST(DeviceData, EachCopyHoldsItsOwnHandleReference) {
    const io_service_t service = newService();
    const io_service_t other = newService();
    {
        auto first = std::make_unique<DeviceData>();
        first->setScsiDevice(service);
        IOObjectRelease(service); // the record now holds the only reference
        DeviceData second(*first);
        EXPECT_EQ(iokit::RegistryCounts::retainCount(service), 2);
        first.reset();
        EXPECT_EQ(iokit::RegistryCounts::retainCount(service), 1);

        // Storing its own only handle again must not free it in between.
        second.setScsiDevice(second.scsiDevice());
        EXPECT_EQ(iokit::RegistryCounts::retainCount(service), 1);
        second.setScsiDevice(other);
        EXPECT_EQ(iokit::RegistryCounts::retainCount(service), 0);
        EXPECT_EQ(iokit::RegistryCounts::retainCount(other), 2);
    }
    EXPECT_EQ(iokit::RegistryCounts::retainCount(other), 1);
    IOObjectRelease(other);
}
