#include "records/Util.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/RunningApplications.h"

#include <algorithm>
#include <array>

namespace {

// The work buffer of a field conversion; the last byte always stays zero, so
// a field is at most 255 bytes long.
constexpr std::size_t kWorkBufferSize = 256;

constexpr std::array<std::string_view, 1> kTargetModels = {"BD-RW KLV-TN82WA"};

bool isValidUTF8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        std::uint32_t codePoint = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            codePoint = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            codePoint = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            codePoint = lead & 0x07u;
        } else {
            return false;
        }
        if (i + extra >= text.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0u) != 0x80u) {
                return false;
            }
            codePoint = (codePoint << 6) | (next & 0x3Fu);
        }
        const bool overlong =
            (extra == 2 && codePoint < 0x800) || (extra == 3 && codePoint < 0x10000);
        const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
        if (overlong || surrogate || codePoint > 0x10FFFF) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

std::string withoutBlanks(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    std::copy_if(text.begin(), text.end(), std::back_inserter(result),
                 [](char c) { return c != ' '; });
    return result;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Orders two runs of decimal digits by their value, leading zeros aside.
int compareDigitRuns(std::string_view a, std::string_view b) {
    const auto significant = [](std::string_view run) {
        const auto first = run.find_first_not_of('0');
        return first == std::string_view::npos ? std::string_view{} : run.substr(first);
    };
    const auto x = significant(a);
    const auto y = significant(b);
    if (x.size() != y.size()) {
        return x.size() < y.size() ? -1 : 1;
    }
    const int order = x.compare(y);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

} // namespace

std::optional<std::string> Util::fullPath(std::string_view fileName) {
    return foundation::Bundle::mainBundle().pathForResource(fileName);
}

std::unique_ptr<Util::FileHandle> Util::openFile(std::string_view fileName) {
    const auto path = fullPath(fileName);
    if (!path) {
        return nullptr;
    }
    return FileHandle::fileHandleForReadingAtPath(*path);
}

std::optional<std::string>
Util::readFileWithUTF8String(FileHandle* handle, std::uint64_t seekOffset, std::int32_t length) {
    if (handle == nullptr || length < 0 || !handle->seekToFileOffset(seekOffset)) {
        return std::nullopt;
    }
    const auto wanted =
        std::min<std::size_t>(static_cast<std::size_t>(length), kWorkBufferSize - 1);
    const auto data = handle->readDataOfLength(wanted);
    if (!data) {
        return std::nullopt;
    }
    return textOfField(*data);
}

std::vector<std::uint8_t> Util::readFile(FileHandle* handle, std::uint64_t seekOffset,
                                         std::int32_t length) {
    if (handle == nullptr || length <= 0 || !handle->seekToFileOffset(seekOffset)) {
        return {};
    }
    return handle->readDataOfLength(static_cast<std::size_t>(length))
        .value_or(std::vector<std::uint8_t>{});
}

void Util::closeFile(std::unique_ptr<FileHandle>& handle) {
    handle.reset();
}

std::optional<std::string> Util::convertToString(std::span<const std::uint8_t> bytes,
                                                 std::int32_t seekOffset, std::int32_t length) {
    if (bytes.data() == nullptr || length <= 0 || seekOffset < 0) {
        return std::nullopt;
    }
    // Bytes the caller's buffer does not hold are not read; the zero-filled
    // work buffer stands in for them.
    const auto start = std::min<std::size_t>(static_cast<std::size_t>(seekOffset), bytes.size());
    const auto available = bytes.size() - start;
    const auto wanted =
        std::min<std::size_t>(static_cast<std::size_t>(length), kWorkBufferSize - 1);
    return textOfField(bytes.subspan(start, std::min(wanted, available)));
}

std::optional<std::string> Util::textOfField(std::span<const std::uint8_t> bytes) {
    std::array<char, kWorkBufferSize> buffer{};
    const auto count = std::min(bytes.size(), buffer.size() - 1);
    std::copy_n(bytes.begin(), count, buffer.begin());
    const std::string text(buffer.data());
    if (!isValidUTF8(text)) {
        return std::nullopt;
    }
    return text;
}

bool Util::sameText(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    return a && b && *a == *b;
}

std::string_view Util::trimmedText(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool Util::isTargetModel(const std::optional<std::string>& model) {
    if (!model) {
        return false;
    }
    const std::string given = withoutBlanks(*model);
    return std::any_of(kTargetModels.begin(), kTargetModels.end(),
                       [&](std::string_view target) { return withoutBlanks(target) == given; });
}

std::int32_t Util::cmpCurVersion(std::string_view current, std::string_view compared) {
    const std::string a = withoutBlanks(current);
    const std::string b = withoutBlanks(compared);
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const std::size_t runA = a.find_first_not_of("0123456789", i);
            const std::size_t runB = b.find_first_not_of("0123456789", j);
            const std::size_t endA = runA == std::string::npos ? a.size() : runA;
            const std::size_t endB = runB == std::string::npos ? b.size() : runB;
            if (const int order = compareDigitRuns(std::string_view(a).substr(i, endA - i),
                                                   std::string_view(b).substr(j, endB - j));
                order != 0) {
                return order;
            }
            i = endA;
            j = endB;
            continue;
        }
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[j]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
        ++i;
        ++j;
    }
    if (i < a.size()) {
        return 1;
    }
    if (j < b.size()) {
        return -1;
    }
    return 0;
}

bool Util::isPresenceOfDisc(const SCSI_Sense_Data& sense) {
    return sense.additionalSenseCode() != 0x3A;
}

std::int32_t Util::countLaunchedApp() {
    const std::string identifier = foundation::Bundle::mainBundle().bundleIdentifier();
    std::int32_t count = 0;
    for (const auto& application :
         foundation::RunningApplications::launchedApplications(identifier)) {
        const auto found = application.find("NSApplicationBundleIdentifier");
        if (found != application.end() && found->second == identifier) {
            ++count;
        }
    }
    return count;
}
