#pragma once

#include "platform/foundation/FileDescriptor.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace foundation {

// A file opened for reading, closed when the handle goes.
class FileHandle {
  public:
    // None when the path cannot be opened for reading as a regular file.
    static std::unique_ptr<FileHandle> fileHandleForReadingAtPath(const std::string& path);

    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // The size of the open file, whatever its name points at now; none when
    // the system cannot tell.
    std::optional<std::uint64_t> fileSize() const;
    bool seekToFileOffset(std::uint64_t offset);
    // Up to `length` bytes from the current offset, fewer at the end of the
    // file and zero at or past it; none when a read fails, even after some
    // bytes came.
    std::optional<std::vector<std::uint8_t>> readDataOfLength(std::size_t length);

  private:
    explicit FileHandle(FileDescriptor descriptor) : descriptor_(std::move(descriptor)) {}
    FileDescriptor descriptor_;
};

} // namespace foundation
