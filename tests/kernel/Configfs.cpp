#include "tests/kernel/Configfs.h"

#include "platform/foundation/FileDescriptor.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tcmu::configfs {

namespace {

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path) {
    throw std::system_error(errno, std::generic_category(), what + " " + path.string());
}

} // namespace

void makeFolder(const std::filesystem::path& path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        fail("cannot make", path);
    }
}

void removeFolder(const std::filesystem::path& path) {
    if (::rmdir(path.c_str()) != 0) {
        fail("cannot remove", path);
    }
}

void write(const std::filesystem::path& attribute, std::string_view text) {
    const foundation::FileDescriptor file(::open(attribute.c_str(), O_WRONLY | O_CLOEXEC));
    // An attribute takes its whole value in one write.
    if (!file.valid() ||
        ::write(file.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        fail("cannot write '" + std::string(text) + "' to", attribute);
    }
}

std::string read(const std::filesystem::path& attribute) {
    const foundation::FileDescriptor file(::open(attribute.c_str(), O_RDONLY | O_CLOEXEC));
    std::array<char, 4096> buffer{};
    const ssize_t count = file.valid() ? ::read(file.get(), buffer.data(), buffer.size()) : -1;
    if (count < 0) {
        fail("cannot read", attribute);
    }
    std::string text(buffer.data(), static_cast<std::size_t>(count));
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

void link(const std::filesystem::path& item, const std::filesystem::path& at) {
    if (::symlink(item.c_str(), at.c_str()) != 0) {
        fail("cannot link " + item.string() + " at", at);
    }
}

void unlink(const std::filesystem::path& at) {
    if (::unlink(at.c_str()) != 0) {
        fail("cannot unlink", at);
    }
}

} // namespace tcmu::configfs
