#include "tests/kernel/UserBackstore.h"

#include "tests/kernel/Configfs.h"

#include <stdexcept>
#include <system_error>

namespace tcmu {

namespace fs = std::filesystem;

namespace {

// The first free backstore index: its folder is made by the caller.
unsigned freeBackstoreIndex() {
    unsigned index = 0;
    while (fs::exists(configfs::kTargetRoot / "core" / ("user_" + std::to_string(index)))) {
        ++index;
    }
    return index;
}

// The UIO node the kernel made for the device: the one whose name is
// "tcm-user/<backstore index>/<device>/<configuration>".
fs::path uioNodeOf(unsigned index, const std::string& name) {
    const std::string prefix = "tcm-user/" + std::to_string(index) + "/" + name + "/";
    for (const auto& entry : fs::directory_iterator("/sys/class/uio")) {
        if (configfs::read(entry.path() / "name").starts_with(prefix)) {
            return fs::path("/dev") / entry.path().filename();
        }
    }
    throw std::runtime_error("no UIO node for " + prefix);
}

} // namespace

UserBackstore::UserBackstore(const std::string& name) {
    const unsigned index = freeBackstoreIndex();
    backstore_ = configfs::kTargetRoot / "core" / ("user_" + std::to_string(index));
    configfs::makeFolder(backstore_);
    item_ = backstore_ / name;
    try {
        configfs::makeFolder(item_);
        // The configuration is for the program that answers; ours needs none.
        configfs::write(item_ / "control", "dev_config=virtual-drive/" + name);
        configfs::write(item_ / "control", "dev_size=1048576");
        configfs::write(item_ / "enable", "1");
        uioNode_ = uioNodeOf(index, name);
    } catch (...) {
        std::error_code ignored;
        fs::remove(item_, ignored);
        fs::remove(backstore_, ignored);
        throw;
    }
}

UserBackstore::~UserBackstore() {
    std::error_code ignored;
    fs::remove(item_, ignored);
    fs::remove(backstore_, ignored);
}

} // namespace tcmu
