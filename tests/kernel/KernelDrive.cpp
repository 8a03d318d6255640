#include "tests/kernel/KernelDrive.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <system_error>
#include <vector>

extern char** environ;

namespace tcmu {

namespace fs = std::filesystem;

namespace {

std::atomic<unsigned> drivesMade{0};

// What the drive's firmware knows from the operation code alone: the
// direction of its data phase.
sim::Direction directionOf(std::uint8_t operationCode) {
    switch (operationCode) {
    case 0x12: // INQUIRY
    case 0x3C: // READ BUFFER
        return sim::Direction::FromDrive;
    case 0x3B: // WRITE BUFFER
        return sim::Direction::ToDrive;
    default:
        return sim::Direction::None;
    }
}

// The name of the one entry in `folder`, e.g. the sg node of a SCSI device.
std::optional<std::string> onlyEntry(const fs::path& folder) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        return entry.path().filename().string();
    }
    return std::nullopt;
}

template <class Condition>
void waitFor(Condition condition, const std::string& what) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            throw std::runtime_error("no " + what + " within a minute");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void run(std::vector<std::string> words) {
    std::vector<char*> arguments;
    for (std::string& word : words) {
        arguments.push_back(word.data());
    }
    arguments.push_back(nullptr);
    pid_t child = 0;
    if (const int error =
            ::posix_spawnp(&child, arguments[0], nullptr, nullptr, arguments.data(), environ)) {
        throw std::system_error(error, std::generic_category(), "cannot run " + words[0]);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(words[0] + " " + words[1] + " failed");
    }
}

} // namespace

KernelDrive::KernelDrive(sim::DriveProfile profile)
    : index_(drivesMade++), drive_(std::move(profile)),
      backstore_("drive" + std::to_string(index_)), ring_(backstore_.uioNode()),
      server_([this](std::stop_token stop) {
          ring_.serve([this](auto cdb, auto data) { return answer(cdb, data); }, stop);
      }),
      port_(index_) {}

KernelDrive::~KernelDrive() = default;

Reply KernelDrive::answer(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data) {
    const sim::Direction direction = data.empty() ? sim::Direction::None : directionOf(cdb[0]);
    const sim::CommandResult result = drive_.execute(cdb, data, direction);
    Reply reply;
    if (result.gone) {
        // A drive that is not there: LOGICAL UNIT NOT SUPPORTED.
        reply.status = sim::statusCheckCondition;
        reply.sense[0] = 0x70;
        reply.sense[2] = 0x05;
        reply.sense[7] = 10;
        reply.sense[12] = 0x25;
        return reply;
    }
    reply.status = result.status;
    reply.sense = result.sense;
    if (direction == sim::Direction::FromDrive) {
        reply.dataIn = static_cast<std::uint32_t>(result.transferred);
    }
    return reply;
}

void KernelDrive::plugIn() {
    port_.link(backstore_.item());
    const fs::path device = port_.scsiDevice() / "device";
    waitFor([&] { return onlyEntry(device / "scsi_generic") && onlyEntry(device / "block"); },
            "sg and sr nodes for " + device.string());
    settle();
}

void KernelDrive::unplug() {
    pullOut();
    settle();
}

void KernelDrive::pullOut() {
    port_.unlink();
}

std::string KernelDrive::genericNode() const {
    return "/dev/" + onlyEntry(port_.scsiDevice() / "device" / "scsi_generic").value_or("");
}

std::optional<std::string> KernelDrive::blockNode() const {
    const auto name = onlyEntry(port_.scsiDevice() / "device" / "block");
    return name ? std::optional("/dev/" + *name) : std::nullopt;
}

std::string KernelDrive::genericSyspath() const {
    const fs::path folder = port_.scsiDevice() / "device" / "scsi_generic";
    return fs::canonical(folder / onlyEntry(folder).value_or("")).string();
}

void KernelDrive::settle() {
    run({"udevadm", "settle", "--timeout=60"});
}

} // namespace tcmu
