#include "platform/tracking/PublishedDrives.h"

#include "platform/iokit/AccessProblems.h"
#include "platform/iokit/CFDictionary.h"

#include <algorithm>
#include <gmock/gmock.h>

using testing::ElementsAre;

namespace {

class NamedService : public iokit::ServiceProvider {
  public:
    std::optional<std::string> className() const override { return "TrackedDrive"; }
    const CFDictionary& properties() const override { return properties_; }
    IOReturn createPlugInInterface(IOCFPlugInInterface** plugIn) override {
        *plugIn = nullptr;
        return kIOReturnUnsupported;
    }

  private:
    CFDictionary properties_;
};

void refuse(const std::string& node, iokit::AccessRefusal refusal) {
    iokit::AccessResult result;
    result.refusal = refusal;
    result.deviceNode = node;
    iokit::AccessProblems::note(result);
}

std::vector<std::string> nodesOf(const std::vector<iokit::AccessResult>& problems) {
    std::vector<std::string> nodes;
    for (const auto& problem : problems) {
        nodes.push_back(problem.deviceNode);
    }
    return nodes;
}

bool recorded(const std::string& node) {
    const auto all = nodesOf(iokit::AccessProblems::currentOf({node}));
    return std::ranges::find(all, node) != all.end();
}

} // namespace

// Three drives refused: the one that leaves takes its node's refusal with it,
// the two others keep theirs, and so does a node no drive here has.
TEST(PublishedDrives, AWithdrawnDriveForgetsTheRefusalsOfItsNodeOnly) {
    refuse("/dev/elsewhere", iokit::AccessRefusal::NotPermitted);
    {
        tracking::PublishedDrives drives;
        ASSERT_TRUE(drives.publish("/sys/a", std::make_shared<NamedService>(), "/dev/sg3"));
        ASSERT_TRUE(drives.publish("/sys/b", std::make_shared<NamedService>(), "/dev/sg1"));
        ASSERT_TRUE(drives.publish("/sys/c", std::make_shared<NamedService>(), "/dev/sg2"));
        const io_service_t first = drives.service("/sys/a");
        EXPECT_FALSE(drives.publish("/sys/a", std::make_shared<NamedService>(), "/dev/sg3"));
        EXPECT_EQ(drives.service("/sys/a"), first);
        refuse("/dev/sg1", iokit::AccessRefusal::HeldElsewhere);
        refuse("/dev/sg3", iokit::AccessRefusal::DiscMounted);
        refuse("/dev/sg2", iokit::AccessRefusal::NotPermitted);
        EXPECT_THAT(nodesOf(drives.accessProblems()),
                    ElementsAre("/dev/sg1", "/dev/sg3", "/dev/sg2"));

        const io_service_t leaving = drives.service("/sys/a");
        EXPECT_TRUE(drives.withdraw("/sys/a"));
        EXPECT_FALSE(drives.withdraw("/sys/a"));
        EXPECT_EQ(drives.service("/sys/a"), IO_OBJECT_NULL);
        EXPECT_EQ(iokit::ServiceRegistry::provider(leaving), nullptr);
        EXPECT_THAT(nodesOf(drives.accessProblems()), ElementsAre("/dev/sg1", "/dev/sg2"));
        EXPECT_FALSE(recorded("/dev/sg3"));
        EXPECT_TRUE(recorded("/dev/sg1"));
        EXPECT_TRUE(recorded("/dev/elsewhere"));
    }
    // Gone with their tracker.
    EXPECT_FALSE(recorded("/dev/sg1"));
    EXPECT_FALSE(recorded("/dev/sg2"));
    EXPECT_TRUE(recorded("/dev/elsewhere"));
    iokit::AccessProblems::forget("/dev/elsewhere");
}
