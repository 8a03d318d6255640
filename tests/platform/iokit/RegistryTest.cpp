#include "platform/iokit/Registry.h"

#include "platform/iokit/ObjectRef.h"
#include "tests/support/RegistryCounts.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

class NamedObject : public iokit::RegistryObject {
  public:
    explicit NamedObject(std::string name) : name_(std::move(name)) {}
    std::optional<std::string> className() const override { return name_; }

  private:
    std::string name_;
};

} // namespace

TEST(Registry, RetainAndReleaseCountOneReferencePerCallAndFreeTheHandleAtZero) {
    const io_object_t handle = iokit::Registry::insert(std::make_shared<NamedObject>("Drive"));
    EXPECT_NE(handle, IO_OBJECT_NULL);
    EXPECT_EQ(iokit::RegistryCounts::retainCount(handle), 1);
    EXPECT_EQ(IOObjectRetain(handle), KERN_SUCCESS);
    EXPECT_EQ(iokit::RegistryCounts::retainCount(handle), 2);
    EXPECT_EQ(IOObjectRelease(handle), KERN_SUCCESS);
    EXPECT_EQ(IOObjectRelease(handle), KERN_SUCCESS);
    EXPECT_EQ(iokit::RegistryCounts::retainCount(handle), 0);
    EXPECT_EQ(iokit::Registry::lookup(handle), nullptr);
    EXPECT_NE(IOObjectRelease(handle), KERN_SUCCESS);
}

TEST(Registry, NoObjectAndClassNames) {
    EXPECT_NE(IOObjectRetain(IO_OBJECT_NULL), KERN_SUCCESS);
    EXPECT_NE(IOObjectRelease(IO_OBJECT_NULL), KERN_SUCCESS);

    char name[128];
    const io_object_t handle =
        iokit::Registry::insert(std::make_shared<NamedObject>(std::string(300, 'x')));
    ASSERT_EQ(IOObjectGetClass(handle, name), KERN_SUCCESS);
    EXPECT_EQ(std::strlen(name), 127u);
    EXPECT_NE(IOObjectGetClass(IO_OBJECT_NULL, name), KERN_SUCCESS);
    IOObjectRelease(handle);
}

TEST(ObjectRef, CopiesRetainMovesHandOverAndEachHolderReleasesOnce) {
    using iokit::ObjectRef;
    const io_object_t first = iokit::Registry::insert(std::make_shared<NamedObject>("A"));
    const io_object_t second = iokit::Registry::insert(std::make_shared<NamedObject>("B"));
    {
        ObjectRef held = ObjectRef::adopt(first);
        ObjectRef copy = held;
        EXPECT_EQ(iokit::RegistryCounts::retainCount(first), 2);
        ObjectRef moved = std::move(copy);
        EXPECT_EQ(iokit::RegistryCounts::retainCount(first), 2);
        EXPECT_FALSE(copy);

        moved = ObjectRef::retain(second);
        EXPECT_EQ(iokit::RegistryCounts::retainCount(first), 1);
        EXPECT_EQ(iokit::RegistryCounts::retainCount(second), 2);
        IOObjectRelease(second);

        // The holder of the last reference assigned to itself keeps the object.
        const ObjectRef& alias = moved;
        moved = alias;
        EXPECT_EQ(iokit::RegistryCounts::retainCount(second), 1);

        // An out-parameter gives the old reference back before it is filled.
        *held.receive() = IO_OBJECT_NULL;
        EXPECT_EQ(iokit::RegistryCounts::retainCount(first), 0);
    }
    EXPECT_EQ(iokit::RegistryCounts::retainCount(second), 0);
}
