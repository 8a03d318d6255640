// Lists the drives through the system's backend as the user who runs it and
// updates the one eligible drive with the demonstration images; the tests on
// a real kernel run it as other users. It prints what it saw:
//   "listed N", "refused <cause> <node>" for each access refused, then
//   "updated to <revision>" or "update failed".
// Exit status: 0 updated, 1 update failed, 3 no eligible drive listed.

#include "platform/foundation/Log.h"
#include "platform/linux/LinuxBackend.h"
#include "scsi/STUCMethod.h"
#include "tests/kernel/KernelTesting.h"
#include "tests/support/EngineSupport.h"
#include "tools/FirmwareImageWriter.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

const char* causeOf(iokit::AccessRefusal refusal) {
    switch (refusal) {
    case iokit::AccessRefusal::None:
        return "none";
    case iokit::AccessRefusal::NotPermitted:
        return "not-permitted";
    case iokit::AccessRefusal::HeldElsewhere:
        return "held-elsewhere";
    case iokit::AccessRefusal::DiscMounted:
        return "disc-mounted";
    case iokit::AccessRefusal::Gone:
        return "gone";
    case iokit::AccessRefusal::OsError:
        return "os-error";
    }
    return "?";
}

} // namespace

int main(int argc, char** argv) {
    const QCoreApplication application(argc, argv);
    // The command layer's trace would bury the lines the test reads; errors
    // and warnings go to standard error, at once.
    foundation::Log::setSink([](foundation::LogChannel channel, std::string_view line) {
        if (channel == foundation::LogChannel::Error ||
            channel == foundation::LogChannel::Warning) {
            std::fprintf(stderr, "%.*s%s", static_cast<int>(line.size()), line.data(),
                         line.ends_with('\n') ? "" : "\n");
        }
    });
    const FirmwareImageFolder images(tools::kDemoKernelImageSize, tools::kDemoNormalImageSize);
    const linuxbackend::LinuxBackend backend(linuxbackend::EventSource::Udev);
    eventuallyOnKernel([&backend] { return !backend.drives().empty(); });

    auto list = ListTargetDrives(images.normal());
    std::printf("listed %zu\n", list.size());
    for (const iokit::AccessResult& problem : backend.accessProblems()) {
        std::printf("refused %s %s\n", causeOf(problem.refusal), problem.deviceNode.c_str());
    }
    std::fflush(stdout);
    if (list.size() != 1 || !list[0].isEnableUpdate()) {
        return 3;
    }
    if (!ExecUpdateMain(list[0], images.normal(), images.kernel())) {
        std::printf("update failed\n");
        std::fflush(stdout);
        return 1;
    }
    const auto after = ListTargetDrives(images.normal());
    std::printf("updated to %s\n",
                after.size() == 1 ? after[0].revision().value_or("?").c_str() : "?");
    return 0;
}
