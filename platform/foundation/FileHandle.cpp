#include "platform/foundation/FileHandle.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace foundation {

std::unique_ptr<FileHandle> FileHandle::fileHandleForReadingAtPath(const std::string& path) {
    // Non-blocking, so that a FIFO in the file's place cannot hold the open;
    // only regular files are taken, and they read the same either way.
    FileDescriptor descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!descriptor.valid() || ::fstat(descriptor.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return nullptr;
    }
    return std::unique_ptr<FileHandle>(new FileHandle(std::move(descriptor)));
}

std::optional<std::uint64_t> FileHandle::fileSize() const {
    struct stat info {};
    if (::fstat(descriptor_.get(), &info) != 0 || info.st_size < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

bool FileHandle::seekToFileOffset(std::uint64_t offset) {
    return ::lseek(descriptor_.get(), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

std::optional<std::vector<std::uint8_t>> FileHandle::readDataOfLength(std::size_t length) {
    std::vector<std::uint8_t> data(length);
    std::size_t filled = 0;
    while (filled < length) {
        const ssize_t got = ::read(descriptor_.get(), data.data() + filled, length - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    data.resize(filled);
    return data;
}

} // namespace foundation
