#include "records/FirmFileData.h"

#include "records/FirmwareImageLayout.h"
#include "records/Util.h"

#include <array>
#include <utility>

void FirmFileData::readHeaderOfResource(std::string_view fileName) {
    auto handle = Util::openFile(fileName);
    if (!handle) {
        return;
    }
    using namespace FirmwareImageLayout;
    setIsFileExists(true);
    setProduct(Util::readFileWithUTF8String(handle.get(), kProduct.offset, kProduct.length));
    setRevision(Util::readFileWithUTF8String(handle.get(), kRevision.offset, kRevision.length));
    setDate(Util::readFileWithUTF8String(handle.get(), kDate.offset, kDate.length));
    setHard_version(
        Util::readFileWithUTF8String(handle.get(), kHardVersion.offset, kHardVersion.length));
    setKrnl_version(
        Util::readFileWithUTF8String(handle.get(), kKernelVersion.offset, kKernelVersion.length));
    setDest_version(
        Util::readFileWithUTF8String(handle.get(), kDestVersion.offset, kDestVersion.length));
    // The update sends the image only when it is still these very bytes.
    Sha256 digest;
    const bool readWhole = handle->seekToFileOffset(0) && digest.updateWithRestOf(*handle);
    contentDigest_ = readWhole ? std::optional(digest.finish()) : std::nullopt;
    Util::closeFile(handle);
}

void FirmFileData::readHeaderOfBytes(std::span<const std::uint8_t> bytes) {
    using namespace FirmwareImageLayout;
    const auto field = [bytes](Field at) {
        return Util::convertToString(bytes, static_cast<std::int32_t>(at.offset), at.length);
    };
    setIsFileExists(true);
    setProduct(field(kProduct));
    setRevision(field(kRevision));
    setDate(field(kDate));
    setHard_version(field(kHardVersion));
    setKrnl_version(field(kKernelVersion));
    setDest_version(field(kDestVersion));
}

std::optional<std::string_view>
FirmFileData::headerFieldDifferingFrom(const FirmFileData& other) const {
    using Text = const std::optional<std::string>& (IdentityTexts::*)() const;
    const auto fields = std::to_array<std::pair<std::string_view, Text>>({
        {"product", &IdentityTexts::product},
        {"revision", &IdentityTexts::revision},
        {"hard_version", &IdentityTexts::hard_version},
        {"krnl_version", &IdentityTexts::krnl_version},
        {"dest_version", &IdentityTexts::dest_version},
        {"date", &IdentityTexts::date},
    });
    for (const auto& [name, text] : fields) {
        if ((this->*text)() != (other.*text)()) {
            return name;
        }
    }
    return std::nullopt;
}
