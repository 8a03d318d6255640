#include "platform/iokit/AccessProblems.h"
#include "platform/iokit/PassThroughService.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Answers as it is told and remembers what it was asked.
class FakeDevice : public iokit::PassThroughDevice {
  public:
    iokit::AccessResult openResult;
    iokit::PassThroughResult executeResult;

    int opens = 0;
    int closes = 0;
    int abandons = 0;
    Bytes cdb;
    std::size_t dataSize = 0;
    iokit::TransferDirection direction = iokit::TransferDirection::None;
    std::chrono::milliseconds timeout{0};

    iokit::AccessResult open() override {
        ++opens;
        return openResult;
    }
    bool close() override {
        ++closes;
        return true;
    }
    void abandon() override { ++abandons; }
    iokit::PassThroughResult execute(std::span<const std::uint8_t> command,
                                     std::span<std::uint8_t> data, iokit::TransferDirection toward,
                                     std::chrono::milliseconds limit) override {
        cdb.assign(command.begin(), command.end());
        dataSize = data.size();
        direction = toward;
        timeout = limit;
        return executeResult;
    }
};

// The refusals standing of the nodes these tests use.
std::vector<iokit::AccessResult> standing() {
    return iokit::AccessProblems::currentOf(
        {"/dev/fake1", "/dev/fake2", "/dev/fake3", "/dev/fake4"});
}

iokit::AccessResult access(iokit::AccessRefusal cause, std::string node, int error = 0) {
    iokit::AccessResult result;
    result.refusal = cause;
    result.osError = error;
    result.deviceNode = std::move(node);
    return result;
}

// The task device interface of a device, made the way the command layer makes it.
class PassThroughAdapter : public ::testing::Test {
  protected:
    PassThroughAdapter() {
        iokit::PassThroughService service(device_, "FakeDrive", true);
        IOCFPlugInInterface* plugIn = nullptr;
        EXPECT_EQ(service.createPlugInInterface(&plugIn), kIOReturnSuccess);
        const iokit::InterfaceRef<IOCFPlugInInterface> plugInRef(plugIn);
        MMCDeviceInterface* mmc = nullptr;
        EXPECT_EQ(plugIn->QueryInterface(CFUUIDGetUUIDBytes(kIOMMCDeviceInterfaceID), &mmc),
                  kIOReturnSuccess);
        const iokit::InterfaceRef<MMCDeviceInterface> mmcRef(mmc);
        taskDevice_.reset(mmc->GetSCSITaskDeviceInterface());
    }

    // Runs a 12-byte command with a 0x30-byte buffer of which `count` bytes may move.
    IOReturn run(std::uint64_t count, SCSIDataTransferDirection direction,
                 std::optional<std::uint32_t> timeout = std::nullopt) {
        const iokit::InterfaceRef<SCSITaskInterface> task(taskDevice_->CreateSCSITask());
        const Bytes cdb{0x3C, 0x02, 0xF1, 0, 0, 0, 0, 0, 0x30, 0, 0, 0x07};
        const IOVirtualRange range{buffer_.data(), static_cast<std::uint32_t>(buffer_.size())};
        EXPECT_EQ(task->SetCommandDescriptorBlock(cdb), kIOReturnSuccess);
        EXPECT_EQ(task->SetScatterGatherEntries({&range, 1}, count, direction), kIOReturnSuccess);
        if (timeout) {
            EXPECT_EQ(task->SetTimeoutDuration(*timeout), kIOReturnSuccess);
        }
        return task->ExecuteTaskSync(sense_, status_, transferred_);
    }

    std::shared_ptr<FakeDevice> device_ = std::make_shared<FakeDevice>();
    iokit::InterfaceRef<SCSITaskDeviceInterface> taskDevice_;
    Bytes buffer_ = Bytes(0x30);
    SCSI_Sense_Data sense_;
    SCSITaskStatus status_ = kSCSITaskStatus_No_Status;
    std::uint64_t transferred_ = 0;
};

TEST_F(PassThroughAdapter, CommandReachesTheDeviceWithItsBufferDirectionAndTimeout) {
    device_->executeResult.status = kSCSITaskStatus_GOOD;
    device_->executeResult.transferred = 0x1C;
    EXPECT_EQ(run(0x20, kSCSIDataTransfer_FromTargetToInitiator, 500000), kIOReturnSuccess);
    EXPECT_EQ(device_->cdb, (Bytes{0x3C, 0x02, 0xF1, 0, 0, 0, 0, 0, 0x30, 0, 0, 0x07}));
    EXPECT_EQ(device_->dataSize, 0x20u); // the count, not the whole range
    EXPECT_EQ(device_->direction, iokit::TransferDirection::FromDevice);
    EXPECT_EQ(device_->timeout, std::chrono::milliseconds(500000));
    EXPECT_EQ(status_, kSCSITaskStatus_GOOD);
    EXPECT_EQ(transferred_, 0x1Cu);

    EXPECT_EQ(run(0x40, kSCSIDataTransfer_FromInitiatorToTarget), kIOReturnSuccess);
    EXPECT_EQ(device_->dataSize, 0x30u); // never beyond the range
    EXPECT_EQ(device_->direction, iokit::TransferDirection::ToDevice);
    // Without a timeout, or with 0, a command may take 30 seconds.
    EXPECT_EQ(device_->timeout, std::chrono::milliseconds(30000));
    run(0, kSCSIDataTransfer_NoDataTransfer, 0);
    EXPECT_EQ(device_->timeout, std::chrono::milliseconds(30000));
}

TEST_F(PassThroughAdapter, CheckConditionBringsItsSense) {
    device_->executeResult.status = kSCSITaskStatus_CHECK_CONDITION;
    device_->executeResult.sense = {0x70, 0, 0x02, 0,    0,    0, 0, 10,   0,
                                    0,    0, 0,    0x04, 0x12, 0, 0, 0x34, 0x12};
    EXPECT_EQ(run(0, kSCSIDataTransfer_NoDataTransfer), kIOReturnSuccess);
    EXPECT_EQ(status_, kSCSITaskStatus_CHECK_CONDITION);
    EXPECT_EQ(sense_.bytes, device_->executeResult.sense);
}

TEST_F(PassThroughAdapter, FailedTransportsBecomeTheirIOReturnAndLeaveStatusAlone) {
    const std::vector<std::pair<iokit::Transport, IOReturn>> cases{
        {iokit::Transport::Gone, kIOReturnNotAttached},
        {iokit::Transport::TimedOut, kIOReturnTimeout},
        {iokit::Transport::NotPermitted, kIOReturnNotPermitted},
        {iokit::Transport::OsError, kIOReturnError}};
    for (const auto& [transport, expected] : cases) {
        device_->executeResult.transport = transport;
        device_->executeResult.osError = 5;
        EXPECT_EQ(run(0x10, kSCSIDataTransfer_FromTargetToInitiator), expected);
        EXPECT_EQ(status_, kSCSITaskStatus_No_Status);
    }
}

TEST_F(PassThroughAdapter, RefusalsBecomeTheirIOReturnAndAreRecordedUntilAGrant) {
    const std::vector<std::pair<iokit::AccessResult, IOReturn>> cases{
        {access(iokit::AccessRefusal::HeldElsewhere, "/dev/fake1"), kIOReturnExclusiveAccess},
        {access(iokit::AccessRefusal::NotPermitted, "/dev/fake2", 13), kIOReturnNotPermitted},
        {access(iokit::AccessRefusal::Gone, "/dev/fake3", 19), kIOReturnNotAttached},
        {access(iokit::AccessRefusal::OsError, "/dev/fake4", 12), kIOReturnError}};
    for (const auto& [result, expected] : cases) {
        device_->openResult = result;
        EXPECT_EQ(taskDevice_->ObtainExclusiveAccess(), expected);
    }
    auto mounted = access(iokit::AccessRefusal::DiscMounted, "/dev/fake2", 16);
    mounted.mountPoint = "/media/user/DISC";
    device_->openResult = mounted;
    EXPECT_EQ(taskDevice_->ObtainExclusiveAccess(), kIOReturnExclusiveAccess);

    // Refused again: the node's entry is replaced and moves last.
    std::vector<std::string> nodes;
    for (const auto& problem : standing()) {
        nodes.push_back(problem.deviceNode);
    }
    EXPECT_EQ(nodes,
              (std::vector<std::string>{"/dev/fake1", "/dev/fake3", "/dev/fake4", "/dev/fake2"}));
    const auto last = standing().back();
    EXPECT_EQ(last.refusal, iokit::AccessRefusal::DiscMounted);
    EXPECT_EQ(last.osError, 16);
    EXPECT_EQ(last.mountPoint, "/media/user/DISC");
    EXPECT_EQ(taskDevice_->ReleaseExclusiveAccess(), kIOReturnNotOpen);

    device_->openResult = access(iokit::AccessRefusal::None, "/dev/fake3");
    EXPECT_EQ(taskDevice_->ObtainExclusiveAccess(), kIOReturnSuccess);
    EXPECT_EQ(standing().size(), 3u);
    iokit::AccessProblems::forget("/dev/fake1");
    iokit::AccessProblems::forget("/dev/fake2");
    iokit::AccessProblems::forget("/dev/fake4");
    EXPECT_TRUE(standing().empty());
    EXPECT_EQ(device_->closes, 0);
}

TEST_F(PassThroughAdapter, AHolderOpensOnceAndAMissingReleaseShows) {
    EXPECT_EQ(taskDevice_->ObtainExclusiveAccess(), kIOReturnSuccess);
    EXPECT_EQ(taskDevice_->ObtainExclusiveAccess(), kIOReturnSuccess);
    EXPECT_EQ(taskDevice_->ReleaseExclusiveAccess(), kIOReturnSuccess);
    EXPECT_EQ(taskDevice_->ReleaseExclusiveAccess(), kIOReturnNotOpen);
    EXPECT_EQ(device_->opens, 1);
    EXPECT_EQ(device_->closes, 1);

    EXPECT_EQ(taskDevice_->ObtainExclusiveAccess(), kIOReturnSuccess);
    taskDevice_.reset();
    EXPECT_EQ(device_->opens, 2);
    EXPECT_EQ(device_->closes, 1);
    EXPECT_EQ(device_->abandons, 1);
}

} // namespace
