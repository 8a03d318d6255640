#include "records/LoadedImage.h"

#include "platform/foundation/Log.h"
#include "records/FirmwareImageLayout.h"
#include "records/Util.h"

using foundation::format;
using namespace FirmwareImageLayout;

namespace {

unsigned long long printable(std::uint64_t value) {
    return static_cast<unsigned long long>(value);
}

} // namespace

LoadedImage::LoadedImage(std::vector<std::uint8_t> bytes, const Sha256::Digest& contentDigest)
    : bytes_(std::move(bytes)), contentDigest_(contentDigest) {
    header_.readHeaderOfBytes(bytes_);
}

std::variant<LoadedImage, std::string> LoadedImage::load(std::string_view fileName,
                                                         ImageSelector kind) {
    const auto file = Util::openFile(fileName);
    if (!file) {
        return "cannot be opened";
    }
    const auto size = file->fileSize();
    if (!size) {
        return "its size cannot be read";
    }
    const std::uint64_t minimum =
        kind == ImageSelector::Kernel ? kKernelImageSentSize : kHeaderSize;
    if (*size < minimum) {
        return format("holds %llu bytes, fewer than the %llu it must hold", printable(*size),
                      printable(minimum));
    }
    if (kind == ImageSelector::Normal && roundUpToGranule(*size) > kNormalImageLimit) {
        return format("holds %llu bytes, more than the %llu the drive can take", printable(*size),
                      printable(kNormalImageLimit));
    }
    const std::uint64_t wanted = kind == ImageSelector::Kernel ? kKernelImageSentSize : *size;
    if (!file->seekToFileOffset(0)) {
        return "cannot be read";
    }
    auto bytes = file->readDataOfLength(static_cast<std::size_t>(wanted));
    if (!bytes) {
        return "cannot be read";
    }
    // A file that shrinks while it is read, or one whose size was not true.
    if (bytes->size() != wanted) {
        return format("ended after %llu of its %llu bytes", printable(bytes->size()),
                      printable(wanted));
    }
    Sha256 digest;
    digest.update(*bytes);
    if (!digest.updateWithRestOf(*file)) {
        return "cannot be read";
    }
    return LoadedImage(std::move(*bytes), digest.finish());
}
