#include "tests/kernel/TcmuRing.h"

#include "tests/kernel/RingLayout.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <system_error>
#include <unistd.h>

namespace tcmu {

namespace {

constexpr std::uint8_t kCheckCondition = 0x02;

std::system_error systemError(const std::string& what) {
    return {errno, std::generic_category(), what};
}

template <class T>
T load(std::span<const std::uint8_t> bytes) {
    T value;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

// How many CDB bytes the kernel copies into the ring, by the operation
// code's group.
std::size_t cdbLength(std::uint8_t operationCode) {
    constexpr std::array<std::size_t, 8> byGroup{6, 10, 10, 12, 16, 12, 10, 10};
    return byGroup[operationCode >> 5];
}

// Where one piece of a command's data buffer lies in the area.
struct Piece {
    std::uint64_t offset;
    std::uint64_t length;
};

} // namespace

void TcmuRing::Unmap::operator()(std::uint8_t* area) const {
    ::munmap(area, length);
}

TcmuRing::TcmuRing(const std::filesystem::path& uioNode)
    : uio_(::open(uioNode.c_str(), O_RDWR | O_CLOEXEC)) {
    if (!uio_.valid()) {
        throw systemError("cannot open " + uioNode.string());
    }
    std::ifstream sizeFile("/sys/class/uio/" + uioNode.filename().string() + "/maps/map0/size");
    std::string size;
    if (!(sizeFile >> size)) {
        throw std::runtime_error("no size for the map of " + uioNode.string());
    }
    areaLength_ = std::stoull(size, nullptr, 0);
    void* mapped = ::mmap(nullptr, areaLength_, PROT_READ | PROT_WRITE, MAP_SHARED, uio_.get(), 0);
    if (mapped == MAP_FAILED) {
        throw systemError("cannot map the ring of " + uioNode.string());
    }
    area_ = {static_cast<std::uint8_t*>(mapped), Unmap{areaLength_}};
    if (load<std::uint16_t>(area(kMailboxVersionAt, 2)) != kMailboxVersion) {
        throw std::runtime_error("unknown mailbox version on " + uioNode.string());
    }
}

TcmuRing::~TcmuRing() = default;

std::span<std::uint8_t> TcmuRing::area(std::uint64_t offset, std::uint64_t length) {
    if (offset > areaLength_ || length > areaLength_ - offset) {
        throw std::out_of_range("the ring points outside its area");
    }
    return {area_.get() + offset, length};
}

void TcmuRing::serve(const CommandHandler& handler, std::stop_token stop) {
    const foundation::FileDescriptor wake(::eventfd(0, EFD_CLOEXEC));
    if (!wake.valid()) {
        throw systemError("eventfd");
    }
    const std::stop_callback onStop(stop, [&wake] {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wake.get(), &one, sizeof one);
    });
    std::array<pollfd, 2> watched{{{uio_.get(), POLLIN, 0}, {wake.get(), POLLIN, 0}}};
    while (!stop.stop_requested()) {
        if (answerQueued(handler)) {
            // Tells the kernel that answers are waiting; the value means nothing.
            const std::uint32_t any = 0;
            if (::write(uio_.get(), &any, sizeof any) != sizeof any) {
                throw systemError("cannot hand answers to the kernel");
            }
        }
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw systemError("poll");
        }
        if ((watched[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return; // the device went away
        }
        if ((watched[0].revents & POLLIN) != 0) {
            std::uint32_t interrupts = 0;
            if (::read(uio_.get(), &interrupts, sizeof interrupts) < 0 && errno != EINTR) {
                throw systemError("cannot read the ring's interrupts");
            }
        }
    }
}

bool TcmuRing::answerQueued(const CommandHandler& handler) {
    const auto ringOffset = load<std::uint32_t>(area(kRingOffsetAt, 4));
    const auto ringSize = load<std::uint32_t>(area(kRingSizeAt, 4));
    std::atomic_ref head(*reinterpret_cast<std::uint32_t*>(area(kHeadAt, 4).data()));
    std::atomic_ref tail(*reinterpret_cast<std::uint32_t*>(area(kTailAt, 4).data()));
    bool any = false;
    for (std::uint32_t at = tail.load(); at != head.load(std::memory_order_acquire);) {
        const auto entry = area(std::uint64_t{ringOffset} + at, sizeof(EntryHeader));
        auto header = load<EntryHeader>(entry);
        if (header.length() == 0) {
            throw std::runtime_error("an empty entry in the ring");
        }
        if (header.operation() == EntryOperation::Command) {
            answer(ringOffset + at, handler);
        } else if (header.operation() != EntryOperation::Pad) {
            header.userFlags |= kUnknownOperation;
            std::memcpy(entry.data(), &header, sizeof header);
        }
        at = (at + header.length()) % ringSize;
        tail.store(at, std::memory_order_release);
        any = true;
    }
    return any;
}

void TcmuRing::answer(std::size_t entryAt, const CommandHandler& handler) {
    const auto request =
        load<CommandRequest>(area(entryAt + sizeof(EntryHeader), sizeof(CommandRequest)));
    const std::size_t piecesAt = entryAt + sizeof(EntryHeader) + sizeof(CommandRequest);
    std::vector<Piece> pieces(request.iovCount);
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        pieces[i] = load<Piece>(area(piecesAt + i * sizeof(Piece), sizeof(Piece)));
        total += pieces[i].length;
    }
    data_.resize(total);
    std::size_t filled = 0;
    for (const Piece& piece : pieces) {
        std::ranges::copy(area(piece.offset, piece.length), data_.begin() + filled);
        filled += piece.length;
    }
    const std::uint8_t operationCode = area(request.cdbOffset, 1)[0];
    const auto inRing = area(request.cdbOffset, cdbLength(operationCode));
    const std::vector<std::uint8_t> cdb(inRing.begin(), inRing.end());

    const Reply reply = handler(cdb, data_);

    CommandResponse response{};
    response.scsiStatus = reply.status;
    if (reply.status == kCheckCondition) {
        std::ranges::copy(reply.sense, response.sense.begin());
    }
    auto header = load<EntryHeader>(area(entryAt, sizeof(EntryHeader)));
    if (reply.dataIn) {
        const std::uint64_t count = std::min<std::uint64_t>(*reply.dataIn, total);
        std::uint64_t returned = 0;
        for (const Piece& piece : pieces) {
            const std::uint64_t part = std::min(piece.length, count - returned);
            std::copy_n(data_.begin() + returned, part, area(piece.offset, part).begin());
            returned += part;
        }
        const auto flags = load<std::uint16_t>(area(kMailboxFlagsAt, 2));
        if ((flags & kCapabilityReadLength) != 0) {
            response.readLength = static_cast<std::uint32_t>(count);
            header.userFlags |= kReadLengthGiven;
        }
    }
    std::memcpy(area(entryAt + sizeof(EntryHeader), sizeof response).data(), &response,
                sizeof response);
    std::memcpy(area(entryAt, sizeof header).data(), &header, sizeof header);
}

} // namespace tcmu
