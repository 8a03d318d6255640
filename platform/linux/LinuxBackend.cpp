#include "platform/linux/LinuxBackend.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/linux/DeviceTracker.h"
#include "platform/linux/RegistryPublisher.h"
#include "platform/linux/UdevSource.h"

#include <algorithm>
#include <future>
#include <thread>
#include <unistd.h>

namespace linuxbackend {
namespace {

constexpr std::string_view kSignature =
    "linuxbackend::LinuxBackend::LinuxBackend(std::optional<linuxbackend::EventSource>)";
constexpr std::string_view kReceiveSignature = "void linuxbackend::LinuxBackend::State::receive()";

// udevd's control socket: without it udevd is not running, and its reports
// never come.
constexpr const char* kUdevControl = "/run/udev/control";

EventSource chosen(std::optional<EventSource> source) {
    if (source) {
        return *source;
    }
    if (::access(kUdevControl, F_OK) == 0) {
        return EventSource::Udev;
    }
    foundation::Log::warning(kSignature,
                             "udevd is not running: following the kernel's device reports "
                             "instead, without disc labels\n");
    return EventSource::Kernel;
}

} // namespace

struct LinuxBackend::State {
    explicit State(EventSource source) : udev(source) {}

    // On the monitor thread: hands every waiting report to the tracker.
    void receive();

    UdevSource udev;
    RegistryPublisher publisher;
    DeviceTracker tracker{publisher};
    foundation::RunLoop* monitorLoop = nullptr;
    std::thread monitorThread;
};

void LinuxBackend::State::receive() {
    const auto reports = udev.receive();
    for (const DeviceEvent& event : reports.events) {
        tracker.handle(event);
    }
    if (reports.lost) {
        foundation::Log::warning(kReceiveSignature,
                                 "device reports were lost (too many at once): listing the "
                                 "drives and media again\n");
        tracker.reconcile(udev.existingDevices());
    }
}

LinuxBackend::LinuxBackend(std::optional<EventSource> source)
    : state_(std::make_unique<State>(chosen(source))) {
    State& state = *state_;
    // The monitor listens already: a device that comes or goes during the
    // listing is reported again afterwards, and reported twice counts once.
    for (const DeviceEvent& event : state.udev.existingDevices()) {
        state.tracker.handle(event);
    }
    if (state.udev.descriptor() < 0) {
        return;
    }
    std::promise<foundation::RunLoop*> started;
    state.monitorThread = std::thread([&state, &started] {
        foundation::RunLoop& loop = foundation::RunLoop::current();
        const auto reports = loop.addSource(state.udev.descriptor(), [&state] { state.receive(); });
        started.set_value(&loop);
        loop.run();
    });
    state.monitorLoop = started.get_future().get();
}

LinuxBackend::~LinuxBackend() {
    if (state_->monitorThread.joinable()) {
        state_->monitorLoop->stop();
        state_->monitorThread.join();
    }
    state_->tracker.clear();
}

std::vector<iokit::AccessResult> LinuxBackend::accessProblems() const {
    return state_->publisher.accessProblems();
}

std::vector<DriveDescription> LinuxBackend::drives() const {
    return state_->tracker.drives();
}

std::vector<DiscDescription> LinuxBackend::discs() const {
    return state_->tracker.discs();
}

} // namespace linuxbackend
