#pragma once

#include <memory>
#include <optional>
#include <string>

class DADisk;

namespace diskarb {

// A disk that a backend reports present for as long as the handle lives: it
// appears to every session when the handle is made and disappears when the
// handle goes.
class PublishedDisk {
  public:
    // A blank disc has no volume name.
    PublishedDisk(const std::optional<std::string>& volumeName,
                  const std::optional<std::string>& deviceModel);
    ~PublishedDisk();
    PublishedDisk(const PublishedDisk&) = delete;
    PublishedDisk& operator=(const PublishedDisk&) = delete;

  private:
    const std::shared_ptr<const DADisk> disk_;
};

} // namespace diskarb
