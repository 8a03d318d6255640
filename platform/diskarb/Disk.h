#pragma once

#include "platform/iokit/CFDictionary.h"

#include <optional>
#include <string>

// A disk as disk arbitration knows it: its description, which never changes.
class DADisk {
  public:
    DADisk(const std::optional<std::string>& volumeName,
           const std::optional<std::string>& deviceModel);

    const CFDictionary& description() const { return description_; }
    // Whether the description holds every value the match names.
    bool matches(const CFDictionary& match) const;

  private:
    CFDictionary description_;
};
