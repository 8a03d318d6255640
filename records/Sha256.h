#pragma once

#include "platform/foundation/FileHandle.h"

#include <array>
#include <cstdint>
#include <span>

// SHA-256, fed in pieces. It tells whether the image about to be sent is,
// byte for byte, the one whose header the user was shown.
class Sha256 {
  public:
    using Digest = std::array<std::uint8_t, 32>;

    void update(std::span<const std::uint8_t> bytes);
    // Feeds the file from its current offset to its end; false when a read
    // fails, and the digest then stands for nothing.
    bool updateWithRestOf(foundation::FileHandle& file);
    // The digest of everything fed; the object is spent.
    Digest finish();

  private:
    void compress(std::span<const std::uint8_t, 64> block);

    std::array<std::uint32_t, 8> state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t length_ = 0;
};
