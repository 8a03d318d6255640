#include "platform/foundation/ProcessSignals.h"

#include "platform/foundation/EventSignal.h"
#include "platform/foundation/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/signalfd.h>
#include <system_error>
#include <unistd.h>

namespace foundation {
namespace {

sigset_t waitedSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : ProcessSignals::kSignals) {
        sigaddset(&set, signal);
    }
    return set;
}

// Where a signal goes: shared by the waiter, the holds and the front end.
struct Routing {
    std::mutex mutex;
    ProcessSignals::Action action;
    // Holds may overlap (an update confirmed while the last one's worker
    // still ends): the signals are held until the last one ends.
    int holds = 0;
    std::string notice;
    std::optional<int> held;
    std::optional<std::chrono::steady_clock::time_point> noticeShown;
};

// A user who presses Ctrl-C again sees the notice again; a storm of signals
// does not flood the terminal with it.
constexpr auto kNoticeInterval = std::chrono::seconds(1);

Routing& routing() {
    static Routing instance;
    return instance;
}

// A signal that ends the process outranks one that only pauses it: a user who
// asked for both wants the end.
void noteHeld(std::optional<int>& held, int signal) {
    if (!held ||
        (ProcessSignals::stopsTheProcess(*held) && !ProcessSignals::stopsTheProcess(signal))) {
        held = signal;
    }
}

void writeNotice(const std::string& notice) {
    // Nothing to do when standard error is gone: the signal is held all the same.
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, notice.data(), notice.size());
}

void route(int signal) {
    Routing& state = routing();
    std::unique_lock lock(state.mutex);
    if (state.holds > 0) {
        noteHeld(state.held, signal);
        const auto now = std::chrono::steady_clock::now();
        if (state.noticeShown && now - *state.noticeShown < kNoticeInterval) {
            return;
        }
        state.noticeShown = now;
        const std::string notice = state.notice;
        lock.unlock();
        writeNotice(notice);
        return;
    }
    const ProcessSignals::Action action = state.action;
    lock.unlock();
    if (action) {
        action(signal);
    } else {
        ProcessSignals::takeDefaultAction(signal);
    }
}

} // namespace

void ProcessSignals::blockAtStart() {
    const sigset_t set = waitedSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

bool ProcessSignals::stopsTheProcess(int signal) {
    return signal == SIGTSTP || signal == SIGTTIN || signal == SIGTTOU;
}

void ProcessSignals::takeDefaultAction(int signal) {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigaction(signal, &standard, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigset_t previous;
    pthread_sigmask(SIG_UNBLOCK, &only, &previous);
    // Delivered to this thread before raise returns; a stop returns on SIGCONT.
    ::raise(signal);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

ProcessSignals::ProcessSignals(Action action) {
    setAction(std::move(action));
    const sigset_t set = waitedSet();
    FileDescriptor signals(::signalfd(-1, &set, SFD_CLOEXEC));
    if (!signals.valid()) {
        throw std::system_error(errno, std::generic_category(), "signalfd");
    }
    waiter_ = std::jthread([signals = std::move(signals)](const std::stop_token& stop) {
        EventSignal stopped;
        const std::stop_callback wake(stop, [&stopped] { stopped.raise(); });
        std::array<pollfd, 2> watched{
            {{signals.get(), POLLIN, 0}, {stopped.descriptor(), POLLIN, 0}}};
        while (!stop.stop_requested()) {
            if (::poll(watched.data(), watched.size(), -1) < 0 ||
                (watched[0].revents & POLLIN) == 0) {
                continue;
            }
            signalfd_siginfo info{};
            if (::read(signals.get(), &info, sizeof info) == sizeof info) {
                route(static_cast<int>(info.ssi_signo));
            }
        }
    });
}

ProcessSignals::~ProcessSignals() {
    waiter_.request_stop();
    waiter_.join();
    setAction({});
}

void ProcessSignals::setAction(Action action) {
    std::lock_guard lock(routing().mutex);
    routing().action = std::move(action);
}

void ProcessSignals::beginHold(std::string_view notice) {
    std::lock_guard lock(routing().mutex);
    routing().notice = notice;
    if (routing().holds++ == 0) {
        routing().held.reset();
        routing().noticeShown.reset();
    }
}

std::optional<int> ProcessSignals::heldSignal() {
    std::lock_guard lock(routing().mutex);
    return routing().held;
}

void ProcessSignals::endHold() {
    std::unique_lock lock(routing().mutex);
    if (--routing().holds > 0) {
        return;
    }
    const std::optional<int> held = std::exchange(routing().held, std::nullopt);
    lock.unlock();
    if (held) {
        route(*held);
    }
}

} // namespace foundation
