#pragma once

#include "records/FirmFileData.h"
#include "records/FirmwareImageLayout.h"
#include "records/Sha256.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// A firmware image read from its file in one pass, before anything is sent:
// the bytes the drive is to receive, the header read from those very bytes,
// and the digest of the whole file they came from. What is judged is then
// what is written, whatever happens to the file meanwhile.
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
    // Of the whole file: for a kernel image, the bytes past those kept too.
    const Sha256::Digest& contentDigest() const { return contentDigest_; }

  private:
    LoadedImage(std::vector<std::uint8_t> bytes, const Sha256::Digest& contentDigest);

    std::vector<std::uint8_t> bytes_;
    FirmFileData header_;
    Sha256::Digest contentDigest_;
};
