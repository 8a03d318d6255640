#pragma once

#include <cstdint>

// The operation codes, modes and buffer IDs the updater sends, and the sense
// values it tells apart.
namespace scsi {

inline constexpr std::uint8_t kTestUnitReady = 0x00;
inline constexpr std::uint8_t kInquiry = 0x12;
inline constexpr std::uint8_t kWriteBuffer = 0x3B;
inline constexpr std::uint8_t kReadBuffer = 0x3C;

// READ BUFFER's data mode; WRITE BUFFER's download-and-save mode.
inline constexpr std::uint8_t kDataMode = 0x02;
inline constexpr std::uint8_t kDownloadAndSaveMode = 0x05;

// The drive's buffers: its version block, the two images, and the mode switch.
inline constexpr std::uint8_t kVersionBuffer = 0xF1;
inline constexpr std::uint8_t kNormalImageBuffer = 0xF0;
inline constexpr std::uint8_t kKernelImageBuffer = 0xFE;
inline constexpr std::uint8_t kDriveModeBuffer = 0xFF;

// The allocation lengths of the two identification replies: INQUIRY's
// standard data, and the version block.
inline constexpr std::uint8_t kInquiryLength = 0x38;
inline constexpr std::uint8_t kVersionBlockLength = 0x30;

inline constexpr std::uint8_t kSenseNotReady = 0x02;
// Reported once, on the next command, after a reset, a change of parameters
// or of the microcode: the drive tells and goes on.
inline constexpr std::uint8_t kSenseUnitAttention = 0x06;
// NOT READY, 04h/12h: the drive is still installing its firmware.
inline constexpr std::uint8_t kInstallingCode = 0x04;
inline constexpr std::uint8_t kInstallingQualifier = 0x12;

} // namespace scsi
