#pragma once

#include "records/FirmFileData.h"
#include "records/FirmwareImageLayout.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// A firmware image read from its file in one pass, before anything is sent:
// the bytes the drive is to receive and the header read from those very
// bytes. What is judged is then what is written, whatever happens to the file
// meanwhile.
class LoadedImage {
  public:
    // The image, or why it cannot be sent (a cause for the log). The size is
    // the open file's: a kernel image must hold the 70,144 bytes that are
    // sent, and only those are kept; a normal image must hold a whole header
    // and fit the drive's 24-bit buffer offsets once rounded up to 256 bytes.
    static std::variant<LoadedImage, std::string> load(std::string_view fileName,
                                                       ImageSelector kind);

    std::span<const std::uint8_t> bytes() const { return bytes_; }
    const FirmFileData& header() const { return header_; }

  private:
    explicit LoadedImage(std::vector<std::uint8_t> bytes);

    std::vector<std::uint8_t> bytes_;
    FirmFileData header_;
};
