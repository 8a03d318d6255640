#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The shared memory of the kernel's userspace SCSI target (target_core_user,
// mailbox version 2), restated from its uapi header, which is C only. The
// area starts with the mailbox; the command ring follows at ringOffset; data
// buffers lie beyond it. Every offset in the area, the iovec addresses
// included, counts from its start. Entries are read and written with memcpy.

namespace tcmu {

inline constexpr std::uint16_t kMailboxVersion = 2;
// The kernel takes a data-in length shorter than the buffer from the reply.
inline constexpr std::uint16_t kCapabilityReadLength = 1 << 1;

// Byte offsets of the mailbox's fields.
inline constexpr std::size_t kMailboxVersionAt = 0; // u16
inline constexpr std::size_t kMailboxFlagsAt = 2;   // u16
inline constexpr std::size_t kRingOffsetAt = 4;     // u32
inline constexpr std::size_t kRingSizeAt = 8;       // u32
// The kernel's producer index into the ring.
inline constexpr std::size_t kHeadAt = 12; // u32
// Ours, on a cache line of its own.
inline constexpr std::size_t kTailAt = 64; // u32

enum class EntryOperation : std::uint32_t { Pad = 0, Command = 1, TaskManagement = 2 };

// Ours to set in an entry's userFlags.
inline constexpr std::uint8_t kUnknownOperation = 0x1;
inline constexpr std::uint8_t kReadLengthGiven = 0x2;

struct EntryHeader {
    // The entry's length (a multiple of 8) with the operation in the low 3 bits.
    std::uint32_t lengthAndOperation;
    std::uint16_t commandId;
    std::uint8_t kernelFlags;
    std::uint8_t userFlags;

    std::uint32_t length() const { return lengthAndOperation & ~std::uint32_t{7}; }
    EntryOperation operation() const { return EntryOperation{lengthAndOperation & 7}; }
};

// What follows the header of a command: the request as the kernel wrote it,
// then, in the same place once done, our response.
struct CommandRequest {
    std::uint32_t iovCount;
    std::uint32_t bidirectionalIovCount;
    std::uint32_t integrityIovCount;
    std::uint64_t cdbOffset;
    std::uint64_t reserved1;
    std::uint64_t reserved2;
    // followed by iovCount struct iovec, their bases offsets into the area
};

inline constexpr std::size_t kSenseBufferSize = 96;

struct CommandResponse {
    std::uint8_t scsiStatus;
    std::uint8_t reserved1;
    std::uint16_t reserved2;
    std::uint32_t readLength;
    std::array<std::uint8_t, kSenseBufferSize> sense;
};

static_assert(sizeof(EntryHeader) == 8);
static_assert(offsetof(CommandRequest, cdbOffset) == 16 && sizeof(CommandRequest) == 40);
static_assert(offsetof(CommandResponse, readLength) == 4 && offsetof(CommandResponse, sense) == 8);

} // namespace tcmu
