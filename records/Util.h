#pragma once

#include "platform/foundation/FileHandle.h"
#include "platform/iokit/IOKitTypes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The stateless toolbox: resources and file reads, fixed-width text fields,
// version order, the target model, disc presence and the running instances.
class Util {
  public:
    using FileHandle = foundation::FileHandle;

    static std::optional<std::string> fullPath(std::string_view fileName);
    static std::unique_ptr<FileHandle> openFile(std::string_view fileName);
    // The text of a fixed-width field of the file, up to its first zero byte;
    // none when the read fails or the bytes are not UTF-8.
    static std::optional<std::string>
    readFileWithUTF8String(FileHandle* handle, std::uint64_t seekOffset, std::int32_t length);
    // At most `length` bytes, fewer at the end of the file, none at or past it.
    static std::vector<std::uint8_t> readFile(FileHandle* handle, std::uint64_t seekOffset,
                                              std::int32_t length);
    static void closeFile(std::unique_ptr<FileHandle>& handle);
    // The text of a fixed-width field in memory, up to its first zero byte;
    // none for a null buffer, a negative offset, a length of 0 or less, or
    // bytes that are not UTF-8.
    static std::optional<std::string> convertToString(std::span<const std::uint8_t> bytes,
                                                      std::int32_t seekOffset, std::int32_t length);

    // Exact equality of two present texts: a missing text matches nothing,
    // not even another missing one.
    static bool sameText(const std::optional<std::string>& a, const std::optional<std::string>& b);
    // A fixed-width field without the blanks that pad it on either side.
    static std::string_view trimmedText(std::string_view text);
    static bool isTargetModel(const std::optional<std::string>& model);
    // -1, 0 or 1 as `current` orders before, equal to or after `compared`,
    // blanks removed and digit runs compared by value.
    static std::int32_t cmpCurVersion(std::string_view current, std::string_view compared);

    // A disc is present unless the sense says "medium not present" (ASC 3Ah).
    static bool isPresenceOfDisc(const SCSI_Sense_Data& sense);

    // How many instances of this application run, this one included.
    static std::int32_t countLaunchedApp();

  private:
    static std::optional<std::string> textOfField(std::span<const std::uint8_t> bytes);
};
